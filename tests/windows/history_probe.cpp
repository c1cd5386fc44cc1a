// Looks at and works the history window of the running ODOMEI from outside, for WineHistory and
// WineWindowScaled:
//   history_probe open          presses the main window's history button
//   history_probe state         prints the rows, unit, range, a caption, rows and the summary
//   history_probe range FROM TO sets the date pickers (YYYY-MM-DD) and turns the range on
//   history_probe all           turns the range off
//   history_probe focus from|to gives a date picker the keyboard
//   history_probe units N       chooses unit N (0: km/L, 1: L/100km) as the list box would
//   history_probe vehicle N     chooses the selector's vehicle N as the list box would
//   history_probe press export|charts  presses the CSV or the chart save (returns at once)
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

std::string RowText(HWND list, int row) {
    const Remote remote(list);
    std::string line;
    for (int c = 0; c < kHistoryColumnCount; ++c) {
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

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "open") return probe::ClickMainButton(kAppTitle, IDC_HISTORY);
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
        std::printf("caption %s\n", Remote(list).Caption(list, kHistoryColumnCount - 2).c_str());
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
    if (command == "press" && argc == 3) {
        const std::string which = argv[2];
        const int id = which == "export"   ? kIdcHistoryExport
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
        "export|charts\n");
    return 2;
}
