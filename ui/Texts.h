// What both windows (the Qt window on Linux, the Win32 window on Windows) show and ask: the
// controls' ids, places and texts, the list's columns and the message-box rules. One place, so
// that the two say the same; the Japanese words themselves are in data/TextsJa.h.
#pragma once

#include <string>

#include "data/TextsJa.h"

namespace odomei {

// The caption of the main window and of every message box: the application's name.
inline constexpr const char* kAppTitle = "ODOMEI";

// Message-box flags and answers, with the values of the system's own.
constexpr unsigned kMbOk = 0x00;
constexpr unsigned kMbOkCancel = 0x01;
constexpr unsigned kMbYesNoCancel = 0x03;
constexpr unsigned kMbYesNo = 0x04;
constexpr unsigned kMbIconHand = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconExclamation = 0x30;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbTypeMask = 0x0F;
constexpr unsigned kMbIconMask = 0xF0;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// The flags a box is shown with: OK, OK/Cancel, Yes/No and Yes/No/Cancel boxes without an icon
// get the exclamation icon.
constexpr unsigned ShownMessageBoxFlags(unsigned flags) {
    const unsigned type = flags & kMbTypeMask;
    const bool plainButtons =
        type == kMbOk || type == kMbOkCancel || type == kMbYesNo || type == kMbYesNoCancel;
    return (flags & kMbIconMask) == 0 && plainButtons ? flags | kMbIconExclamation : flags;
}

// The main window's template (102) and its controls, in dialog units.
constexpr int IDD_ABOUT = 100;
constexpr int IDD_MAIN_WINDOW = 102;
constexpr int IDI_APP = 128;
constexpr int IDOK_EXIT = 1;
constexpr int IDC_RECORD_LIST = 1000;
constexpr int IDC_READ = 1001;
constexpr int IDC_SAVE_CSV = 1002;
constexpr int IDC_CLEAR = 1003;
constexpr int IDC_VERSION_TEXT = 1004;
constexpr int IDC_HISTORY = 1005;        // the logbook's history window
constexpr int IDC_PORT_SETTINGS = 1008;  // the port chooser
constexpr int IDC_VEHICLES = 1009;       // the vehicle dialog
constexpr int IDC_VEHICLE_TEXT = 1010;   // the selected vehicle, beside the version text
// The About command of the window's menu.
constexpr int ID_SYS_ABOUT = 0x0010;
// The window menu's entry for the vehicle dialog (a multiple of 16, as the window menu wants).
constexpr int ID_SYS_VEHICLES = 0x0020;

struct ControlTemplate {
    int id;
    const char* name;
    const char* text;
    int x, y, width, height;
};
constexpr int kWindowWidthDlu = 371;
constexpr int kWindowHeightDlu = 295;
constexpr ControlTemplate kExit{IDOK_EXIT, "IDOK", kExitText, 204, 24, 50, 27};
constexpr ControlTemplate kList{IDC_RECORD_LIST, "IDC_RECORD_LIST", "List1", 23, 75, 332, 190};
constexpr ControlTemplate kRead{IDC_READ, "IDC_READ", kReadText, 36, 24, 50, 27};
constexpr ControlTemplate kSave{IDC_SAVE_CSV, "IDC_SAVE_CSV", kSaveCsvText, 92, 24, 50, 27};
constexpr ControlTemplate kClear{IDC_CLEAR, "IDC_CLEAR", kClearText, 148, 24, 50, 27};
// What the window gained after the template's four buttons: a second row under them, in their
// columns and spacing (half their height), so that the window keeps its width and the rows end
// inside the list's edges; the selected vehicle stands under the list's left edge, across from
// the version text under its right edge.
constexpr int kSecondRowY = 55;
constexpr int kSecondRowHeight = 14;
constexpr ControlTemplate kHistory{IDC_HISTORY, "IDC_HISTORY",   kHistoryTitle, 36, kSecondRowY,
                                   50,          kSecondRowHeight};
constexpr ControlTemplate kPortSettings{
    IDC_PORT_SETTINGS, "IDC_PORT_SETTINGS", kPortDlgCaption, 92, kSecondRowY, 50, kSecondRowHeight};
constexpr ControlTemplate kVehicles{IDC_VEHICLES, "IDC_VEHICLES",  kVehiclesText, 148, kSecondRowY,
                                    50,           kSecondRowHeight};
constexpr ControlTemplate kVehicleText{IDC_VEHICLE_TEXT, "IDC_VEHICLE_TEXT", "", 23, 271, 200, 9};
constexpr ControlTemplate kVersion{
    IDC_VERSION_TEXT, "IDC_VERSION_TEXT", kVersionText, 298, 271, 57, 9};

// The vehicle dialog (template 105) and its name-and-note dialog (template 106), in dialog units.
// The list is wide enough for its six columns at 100 % (two dates and a read's date and time).
constexpr int IDD_VEHICLES = 105;
constexpr int IDD_VEHICLE_EDIT = 106;
constexpr int IDC_VEHICLE_PROMPT = 1200;
constexpr int IDC_VEHICLE_LIST = 1201;
constexpr int IDC_VEHICLE_ADD = 1202;
constexpr int IDC_VEHICLE_RENAME = 1203;
constexpr int IDC_VEHICLE_REMOVE = 1204;
constexpr int IDC_VEHICLE_NAME = 1210;
constexpr int IDC_VEHICLE_NOTE = 1211;
constexpr int IDC_HISTORY_VEHICLE = 1110;  // the history window's vehicle selector
constexpr int kVehicleDlgWidthDlu = 370;
constexpr int kVehicleDlgHeightDlu = 180;
constexpr ControlTemplate kVehiclePrompt{
    IDC_VEHICLE_PROMPT, "IDC_VEHICLE_PROMPT", "", 7, 7, 356, 24};
constexpr ControlTemplate kVehicleList{IDC_VEHICLE_LIST, "IDC_VEHICLE_LIST", "", 7, 34, 290, 139};
constexpr ControlTemplate kVehicleChoose{IDOK_EXIT, "IDOK", kVehicleChooseText, 303, 34, 60, 14};
constexpr ControlTemplate kVehicleAdd{
    IDC_VEHICLE_ADD, "IDC_VEHICLE_ADD", kVehicleAddText, 303, 52, 60, 14};
constexpr ControlTemplate kVehicleRename{
    IDC_VEHICLE_RENAME, "IDC_VEHICLE_RENAME", kVehicleRenameText, 303, 70, 60, 14};
constexpr ControlTemplate kVehicleRemove{
    IDC_VEHICLE_REMOVE, "IDC_VEHICLE_REMOVE", kVehicleRemoveText, 303, 88, 60, 14};
constexpr ControlTemplate kVehicleClose{kIdCancel, "IDCANCEL", kVehicleCloseText, 303, 159, 60, 14};
constexpr int kVehicleEditWidthDlu = 220;
constexpr int kVehicleEditHeightDlu = 70;

// The history window's controls beside its table, in both windows (data/TextsJa.h).
inline constexpr const char* kHistoryExportText = kSave.text;  // the same words as the list's save
// How the range's dates show: the logbook's own ISO form (the same pattern letters in Qt and in
// the date pickers of Windows).
inline constexpr const char* kHistoryDateFormat = "yyyy-MM-dd";

// The window colour: red 162, green 188, blue 189.
constexpr int kWindowRed = 162, kWindowGreen = 188, kWindowBlue = 189;

// The record list's columns.
struct Column {
    const char* caption;
    int width;  // pixels; column 0 takes what the others leave
};
constexpr Column kColumns[] = {{kColumnCaptions[0], 0},  {kColumnCaptions[1], 100},
                               {kColumnCaptions[2], 90}, {kColumnCaptions[3], 90},
                               {kColumnCaptions[4], 80}, {kColumnCaptions[5], 90},
                               {kColumnCaptions[6], 90}};
constexpr int kColumnCount = 7;
// The widest texts a column shows for any plausible reading, so that an empty list is laid out
// for what a read will put in it.
constexpr const char* kWidestTexts[] = {"15",     "2099年12月31日", "9999.99", "999.99",
                                        "655.35", "655.35",         "-999.99"};
constexpr int kCellPadding = 12;  // the cell's margins and grid line
// The widest version text the meter can give, used to size the version control.
constexpr const char* kWidestVersionText = "F/W Version:WW.WW";
constexpr const char* kVersionPrefix = "F/W Version:";

// The About box (template 100): its caption and notice in data/TextsJa.h, with the menu's
// entries and the questions.
constexpr const char* kAboutName = "Korvana Version 2.0";

// The save-as dialog for the list (its type's description in data/TextsJa.h).
constexpr const char* kCsvInitialName = "*.csv";
constexpr const char* kCsvTypePattern = "*.csv";

// A row's number as the list shows it: 01 to 15.
inline std::string RowNumberText(int i) { return (i < 10 ? "0" : "") + std::to_string(i); }

}  // namespace odomei
