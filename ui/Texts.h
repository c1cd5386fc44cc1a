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
// The About command of the window's menu.
constexpr int ID_SYS_ABOUT = 0x0010;

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
// After the four buttons of the template, in the same row, size and spacing.
constexpr ControlTemplate kHistory{IDC_HISTORY, "IDC_HISTORY", kHistoryTitle, 260, 24, 50, 27};
constexpr ControlTemplate kPortSettings{
    IDC_PORT_SETTINGS, "IDC_PORT_SETTINGS", kPortDlgCaption, 316, 24, 50, 27};
constexpr ControlTemplate kVersion{
    IDC_VERSION_TEXT, "IDC_VERSION_TEXT", kVersionText, 298, 271, 57, 9};

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
