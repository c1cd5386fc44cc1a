// Looks at and works the history window of the running ODOMEI from outside, for WineHistory and
// WineWindowScaled:
//   history_probe open          presses the main window's history button
//   history_probe state         prints the rows, unit, range, a caption, rows and the summary
//   history_probe range FROM TO sets the date pickers (YYYY-MM-DD) and turns the range on
//   history_probe all           turns the range off
//   history_probe focus from|to gives a date picker the keyboard
//   history_probe units N       chooses unit N (0: km/L, 1: L/100km) as the list box would
//   history_probe vehicle N     chooses the selector's vehicle N as the list box would
//   history_probe press export|app|charts  presses the CSV, the fuel apps' or the chart save
//                                          (returns at once)
//   history_probe row ROW       prints the row's texts, tab-separated
//   history_probe cell ROW price|cost|odometer  prints the screen point in the middle of the cell
//   history_probe text ROW price|cost|odometer  prints the cell's text
//   history_probe editor        prints the text of the editor open over a cell, or "none"
//   history_probe message price|odometer  prints the message box shown; 0 when it says that the
//                               text typed is no price (no odometer reading)
//   history_probe savetype NAME chooses the save dialog's type whose description begins with NAME
//                               as its list box would
// The list view's and date pickers' messages carry pointers, which are the window's: they point
// into memory the probe places in the program's process.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// The list view and the date pickers.
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/windows/ProbeSupport.h"
#include "ui/HistoryText.h"
#include "ui/Texts.h"
#include "win/WinIds.h"

namespace {

using namespace odomei;
using namespace odomei::winui;

using probe::Remote;
using probe::Utf8;
using probe::Wide;

// The columns the list has: the header's.
int ColumnCount(HWND list) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    return header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::string RowText(HWND list, int row) {
    const Remote remote(list);
    std::string line;
    for (int c = 0; c < ColumnCount(list); ++c) {
        line += (c ? "\t" : "") + remote.CellText(list, row, c);
    }
    return line;
}

void SetDay(HWND picker, const char* iso) {
    unsigned year = 0, month = 0, day = 0;
    std::sscanf(iso, "%4u-%2u-%2u", &year, &month, &day);
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = 12;
    Remote remote(picker);
    remote.Write(0, &t, sizeof t);
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(remote.At(0)));
}

std::string Day(HWND picker) {
    Remote remote(picker);
    if (SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(remote.At(0))) !=
        GDT_VALID) {
        return "none";
    }
    SYSTEMTIME t{};
    remote.Read(0, &t, sizeof t);
    char day[16];
    std::snprintf(day, sizeof day, "%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
    return day;
}

bool Checked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// The column a user types into, by the name the tests give it; -1 for another name.
int EditableColumn(const std::string& name) {
    return name == "price"      ? kPricePerLitreColumn
           : name == "cost"     ? kCostColumn
           : name == "odometer" ? kOdometerColumn
                                : -1;
}

constexpr int kMessageTextId = 0xFFFF;  // the static text of a message box

// The texts of the message boxes over the program's windows (its caption, with a message text).
BOOL CALLBACK CollectMessage(HWND window, LPARAM found) {
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    HWND text = GetDlgItem(window, kMessageTextId);
    if (text != nullptr && Utf8(caption) == kAppTitle) {
        wchar_t message[2048] = {};
        GetWindowTextW(text, message, 2048);
        reinterpret_cast<std::string*>(found)->append(Utf8(message));
    }
    return TRUE;
}

// The save dialog over the history window, as the system's dialog names itself.
HWND SaveDialog() {
    for (const char* title : {"名前を付けて保存", "Save As"}) {
        if (HWND dialog = FindWindowW(nullptr, Wide(title).c_str())) return dialog;
    }
    return nullptr;
}

// The save dialog's list of types: cmb1 in the system's templates.
constexpr int kFileTypeList = 0x470;

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "open") return probe::ClickMainButton(kAppTitle, IDC_HISTORY);
    if (command == "message" && argc == 3) {
        std::string shown;
        EnumWindows(&CollectMessage, reinterpret_cast<LPARAM>(&shown));
        std::printf("%s\n", shown.c_str());
        const std::string expected =
            std::string(argv[2]) == "price" ? kPriceProblemText : kOdometerProblemText;
        // The reason follows after an empty line.
        return shown.rfind(expected + "\n\n", 0) == 0 ? 0 : 1;
    }
    HWND window = FindWindowW(nullptr, Wide(kHistoryTitle).c_str());
    if (window == nullptr) {
        std::printf("no history window\n");
        return 1;
    }
    HWND list = GetDlgItem(window, kIdcHistoryList);
    HWND range = GetDlgItem(window, kIdcHistoryRange);
    if (command == "state") {
        const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        std::printf("rows %d\n", rows);
        std::printf("units %d\n", static_cast<int>(SendDlgItemMessageW(window, kIdcHistoryUnits,
                                                                       CB_GETCURSEL, 0, 0)));
        std::printf("range %d\n", Checked(range) ? 1 : 0);
        HWND vehicle = GetDlgItem(window, IDC_HISTORY_VEHICLE);
        // The selected entry's text (the list box's, marshalled as the system does for its own
        // controls).
        const LRESULT index = SendMessageW(vehicle, CB_GETCURSEL, 0, 0);
        wchar_t name[256] = {};
        if (index != CB_ERR && SendMessageW(vehicle, CB_GETLBTEXTLEN, index, 0) < 256) {
            SendMessageW(vehicle, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name));
        }
        std::printf("vehicle %d %s\n", static_cast<int>(index), Utf8(name).c_str());
        std::printf("vehicles %d\n", static_cast<int>(SendMessageW(vehicle, CB_GETCOUNT, 0, 0)));
        std::printf("from %s\n", Day(GetDlgItem(window, kIdcHistoryFrom)).c_str());
        std::printf("to %s\n", Day(GetDlgItem(window, kIdcHistoryTo)).c_str());
        // The economy as refilled: the first column after the record list's.
        std::printf("caption %s\n", Remote(list).Caption(list, kColumnCount).c_str());
        if (rows > 0) {
            std::printf("newest %s\n", RowText(list, 0).c_str());
            std::printf("oldest %s\n", RowText(list, rows - 1).c_str());
        }
        wchar_t summary[2048] = {};
        GetDlgItemTextW(window, kIdcHistorySummary, summary, 2048);
        std::string s = Utf8(summary);
        for (char& ch : s) {
            if (ch == '\n' || ch == '\r') ch = ' ';
        }
        std::printf("summary %s\n", s.c_str());
        return 0;
    }
    if (command == "range" && argc == 4) {
        SetDay(GetDlgItem(window, kIdcHistoryFrom), argv[2]);
        SetDay(GetDlgItem(window, kIdcHistoryTo), argv[3]);
        // Setting a picker says nothing to the window: the check box makes it look again.
        if (Checked(range)) SendMessageW(range, BM_CLICK, 0, 0);
        SendMessageW(range, BM_CLICK, 0, 0);
        return Checked(range) ? 0 : 1;
    }
    if (command == "all") {
        if (Checked(range)) SendMessageW(range, BM_CLICK, 0, 0);
        return Checked(range) ? 1 : 0;
    }
    if (command == "focus" && argc == 3) {
        HWND picker =
            GetDlgItem(window, std::string(argv[2]) == "from" ? kIdcHistoryFrom : kIdcHistoryTo);
        // The dialog moves its own focus; the keys then come from the keyboard.
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(picker), TRUE);
        return 0;
    }
    if ((command == "units" || command == "vehicle") && argc == 3) {
        const int id = command == "units" ? kIdcHistoryUnits : IDC_HISTORY_VEHICLE;
        HWND box = GetDlgItem(window, id);
        if (SendMessageW(box, CB_SETCURSEL, std::atoi(argv[2]), 0) == CB_ERR) return 1;
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(box));
        return 0;
    }
    if (command == "row" && argc == 3) {
        std::printf("%s\n", RowText(list, std::atoi(argv[2])).c_str());
        return 0;
    }
    if ((command == "cell" || command == "text") && argc == 4) {
        const int row = std::atoi(argv[2]);
        const int column = EditableColumn(argv[3]);
        if (column < 0 || row < 0 ||
            row >= static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0))) {
            std::printf("no cell %s %s\n", argv[2], argv[3]);
            return 1;
        }
        const Remote remote(list);
        if (command == "text") {
            std::printf("%s\n", remote.CellText(list, row, column).c_str());
            return 0;
        }
        RECT cell{};
        cell.top = column;
        cell.left = LVIR_BOUNDS;
        remote.Write(0, &cell, sizeof cell);
        SendMessageW(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(remote.At(0)));
        remote.Read(0, &cell, sizeof cell);
        POINT middle{(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
        ClientToScreen(list, &middle);
        std::printf("%ld %ld\n", middle.x, middle.y);
        return 0;
    }
    if (command == "editor") {
        HWND editor = FindWindowExW(list, nullptr, L"Edit", nullptr);
        if (editor == nullptr || !IsWindowVisible(editor)) {
            std::printf("none\n");
            return 0;
        }
        // WM_GETTEXT itself: GetWindowTextW gives another process's edit control's caption, not
        // what was typed into it.
        wchar_t text[256] = {};
        SendMessageW(editor, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
        std::printf("editor %s\n", Utf8(text).c_str());
        return 0;
    }
    if (command == "savetype" && argc == 3) {
        HWND dialog = SaveDialog();
        HWND types = dialog != nullptr ? GetDlgItem(dialog, kFileTypeList) : nullptr;
        if (types == nullptr) {
            std::printf("no save dialog with a list of types\n");
            return 1;
        }
        const std::string wanted = argv[2];
        const int count = static_cast<int>(SendMessageW(types, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t entry[256] = {};
            if (SendMessageW(types, CB_GETLBTEXTLEN, i, 0) >= 256) continue;
            SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
            if (Utf8(entry).rfind(wanted, 0) != 0) continue;
            // The list box's choice as the dialog hears it when its list closes on an entry.
            SendMessageW(types, CB_SETCURSEL, i, 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kFileTypeList, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(types));
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kFileTypeList, CBN_SELENDOK),
                         reinterpret_cast<LPARAM>(types));
            return 0;
        }
        std::printf("no type %s among %d\n", argv[2], count);
        return 1;
    }
    if (command == "press" && argc == 3) {
        const std::string which = argv[2];
        const int id = which == "export"   ? kIdcHistoryExport
                       : which == "app"    ? kIdcHistoryExportApp
                       : which == "charts" ? kIdcHistorySaveChart
                                           : 0;
        HWND button = GetDlgItem(window, id);
        if (button == nullptr) {
            std::printf("no button %s\n", argv[2]);
            return 1;
        }
        // Posted: the save dialog it opens is modal, and the probe must not wait for it.
        PostMessageW(button, BM_CLICK, 0, 0);
        return 0;
    }
    std::printf(
        "usage: history_probe open|state|range FROM TO|all|focus from|to|units N|vehicle N|press "
        "export|app|charts|row ROW|cell ROW COLUMN|text ROW COLUMN|editor|message price|odometer|"
        "savetype NAME\n");
    return 2;
}
