// Looks at and works ODOMEI's main window and vehicle dialog from outside, for WineVehicles:
//   vehicle_probe layout        checks the main window's layout and Tab order (below)
//   vehicle_probe label         prints the main window's vehicle text
//   vehicle_probe open          presses the main window's 車両 button (returns at once)
//   vehicle_probe click read|exit  presses the main window's read or exit button (at once)
//   vehicle_probe records       prints how many rows the main window's record list shows
//   vehicle_probe rows          prints the dialog's rows ('*' before the selected one), its
//                               buttons' texts and states and its prompt
//   vehicle_probe select N      selects row N as a click would
//   vehicle_probe press choose|add|rename|remove|close   presses a button (returns at once)
//   vehicle_probe edit NAME NOTE  fills the name-and-note dialog and presses its OK
// The layout: every control inside the client area; the second row's buttons under the first
// row's, in their columns, above the list and inside its edges; the vehicle text and the version
// under the list, the vehicle text from its left edge, apart; the controls in the template's order,
// which is the Tab order, and Tab going from the exit button through every enabled one. Exit status
// 0 when all is so (or done), 1 with what is not.
#include <windows.h>
// The list view.
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/windows/ProbeSupport.h"
#include "ui/Texts.h"

namespace {

using namespace odomei;
using probe::Utf8;
using probe::Wide;

int g_faults = 0;

void Fault(const std::string& what) {
    std::printf("%s\n", what.c_str());
    ++g_faults;
}

std::string Text(HWND control) {
    wchar_t text[1024] = {};
    GetWindowTextW(control, text, 1024);
    return Utf8(text);
}

// A control's rectangle in its window's client coordinates.
RECT Place(HWND window, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(window, id), &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Name(const ControlTemplate& c) { return c.name; }

int Layout(HWND main) {
    RECT client{};
    GetClientRect(main, &client);
    const ControlTemplate all[] = {kExit,    kList,         kRead,     kSave,    kClear,
                                   kHistory, kPortSettings, kVehicles, kVersion, kVehicleText};
    for (const ControlTemplate& c : all) {
        if (GetDlgItem(main, c.id) == nullptr) {
            Fault("no control " + Name(c));
            continue;
        }
        const RECT r = Place(main, c.id);
        if (r.left < 0 || r.top < 0 || r.right > client.right || r.bottom > client.bottom) {
            Fault(Name(c) + " is outside the client area");
        }
    }
    const RECT list = Place(main, IDC_RECORD_LIST);
    const std::pair<ControlTemplate, ControlTemplate> columns[] = {
        {kRead, kHistory}, {kSave, kPortSettings}, {kClear, kVehicles}};
    for (const auto& [first, second] : columns) {
        const RECT above = Place(main, first.id);
        const RECT r = Place(main, second.id);
        if (r.left != above.left || r.right != above.right) {
            Fault(Name(second) + " is not in the column of " + Name(first));
        }
        if (r.top < above.bottom || r.bottom > list.top) {
            Fault(Name(second) + " is not between the first row and the list");
        }
        if (r.left < list.left || r.right > list.right) {
            Fault(Name(second) + " is outside the list's edges");
        }
        if (r.bottom - r.top >= above.bottom - above.top) {
            Fault(Name(second) + " is not lower than the first row's buttons");
        }
    }
    const RECT vehicle = Place(main, IDC_VEHICLE_TEXT);
    const RECT version = Place(main, IDC_VERSION_TEXT);
    // The version widens to the right where its font needs it (the main window does so), within
    // the client area.
    if (vehicle.top < list.bottom) Fault("the vehicle text is not under the list");
    if (version.top < list.bottom) Fault("the version is not under the list");
    if (vehicle.right > list.right) Fault("the vehicle text is outside the list's edges");
    if (vehicle.left != list.left) Fault("the vehicle text does not start at the list's edge");
    if (vehicle.right > version.left) Fault("the vehicle text runs into the version");
    // The template's order is the window's order of children, which Tab follows.
    std::vector<int> order;
    for (HWND child = GetWindow(main, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        order.push_back(GetDlgCtrlID(child));
    }
    std::vector<int> expected;
    for (const ControlTemplate& c : all) expected.push_back(c.id);
    if (order != expected) Fault("the controls are not in the template's order");
    // Tab from the exit button: every enabled tab stop in that order, then the exit button again.
    std::vector<int> tabs;
    HWND at = GetDlgItem(main, IDOK_EXIT);
    for (int i = 0; i < 20; ++i) {
        tabs.push_back(GetDlgCtrlID(at));
        at = GetNextDlgTabItem(main, at, FALSE);
        if (at == nullptr || GetDlgCtrlID(at) == IDOK_EXIT) break;
    }
    std::vector<int> enabled;
    for (const ControlTemplate& c : all) {
        HWND control = GetDlgItem(main, c.id);
        if ((GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) && IsWindowEnabled(control)) {
            enabled.push_back(c.id);
        }
    }
    if (tabs != enabled) Fault("Tab does not go through the enabled controls in order");
    std::string seen;
    for (int id : tabs) seen += std::to_string(id) + " ";
    std::printf("tab order %s\n", seen.c_str());
    return g_faults == 0 ? 0 : 1;
}

HWND Dialog() { return FindWindowW(nullptr, Wide(kVehiclesText).c_str()); }

void PrintButton(HWND dialog, int id, const char* what) {
    HWND button = GetDlgItem(dialog, id);
    std::printf("%s %s %s\n", what, Text(button).c_str(), IsWindowEnabled(button) ? "on" : "off");
}

int Rows(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_VEHICLE_LIST);
    const probe::Remote remote(list);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::printf("rows %d\n", rows);
    for (int r = 0; r < rows; ++r) {
        const bool selected = SendMessageW(list, LVM_GETITEMSTATE, r, LVIS_SELECTED) != 0;
        std::string line = selected ? "*" : " ";
        for (int c = 0; c < columns; ++c) line += (c ? "\t" : "") + remote.CellText(list, r, c);
        std::printf("%s\n", line.c_str());
    }
    PrintButton(dialog, IDOK, "choose");
    PrintButton(dialog, IDC_VEHICLE_ADD, "add");
    PrintButton(dialog, IDC_VEHICLE_RENAME, "rename");
    PrintButton(dialog, IDC_VEHICLE_REMOVE, "remove");
    PrintButton(dialog, IDCANCEL, "close");
    std::string prompt = Text(GetDlgItem(dialog, IDC_VEHICLE_PROMPT));
    for (char& ch : prompt) {
        if (ch == '\n' || ch == '\r') ch = ' ';
    }
    std::printf("prompt %s\n", prompt.c_str());
    return 0;
}

int Press(HWND window, int id) {
    HWND button = GetDlgItem(window, id);
    if (button == nullptr) {
        std::printf("no button %d\n", id);
        return 1;
    }
    // Posted: what it opens is modal, and the probe must not wait for it.
    PostMessageW(button, BM_CLICK, 0, 0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
    const std::string command = args.empty() ? "" : args[0];
    if (command == "open") return probe::ClickMainButton(kAppTitle, IDC_VEHICLES);
    if (command == "click" && args.size() == 2) {
        return probe::ClickMainButton(kAppTitle, args[1] == "read" ? IDC_READ : IDOK_EXIT);
    }
    if (command == "layout" || command == "label" || command == "records") {
        HWND main = probe::FindWindowWith(kAppTitle, IDC_RECORD_LIST);
        if (main == nullptr) {
            std::printf("no main window\n");
            return 1;
        }
        if (command == "layout") return Layout(main);
        if (command == "records") {
            std::printf("%d\n", static_cast<int>(SendDlgItemMessageW(main, IDC_RECORD_LIST,
                                                                     LVM_GETITEMCOUNT, 0, 0)));
            return 0;
        }
        std::printf("%s\n", Text(GetDlgItem(main, IDC_VEHICLE_TEXT)).c_str());
        return 0;
    }
    if (command == "edit" && args.size() == 3) {
        HWND edit = FindWindowW(nullptr, Wide(kVehicleAddCaption).c_str());
        if (edit == nullptr) edit = FindWindowW(nullptr, Wide(kVehicleEditCaption).c_str());
        if (edit == nullptr) {
            std::printf("no name-and-note dialog\n");
            return 1;
        }
        SetDlgItemTextW(edit, IDC_VEHICLE_NAME, argv[2]);
        SetDlgItemTextW(edit, IDC_VEHICLE_NOTE, argv[3]);
        return Press(edit, IDOK);
    }
    HWND dialog = Dialog();
    if (dialog == nullptr) {
        std::printf("no vehicle dialog\n");
        return 1;
    }
    if (command == "rows") return Rows(dialog);
    if (command == "select" && args.size() == 2) {
        HWND list = GetDlgItem(dialog, IDC_VEHICLE_LIST);
        const probe::Remote remote(list);
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        remote.Write(0, &item, sizeof item);
        SendMessageW(list, LVM_SETITEMSTATE, std::stoi(args[1]),
                     reinterpret_cast<LPARAM>(remote.At(0)));
        return 0;
    }
    if (command == "press" && args.size() == 2) {
        const std::string& which = args[1];
        const int id = which == "choose"   ? IDOK
                       : which == "add"    ? IDC_VEHICLE_ADD
                       : which == "rename" ? IDC_VEHICLE_RENAME
                       : which == "remove" ? IDC_VEHICLE_REMOVE
                       : which == "close"  ? IDCANCEL
                                           : 0;
        return Press(dialog, id);
    }
    std::printf(
        "usage: vehicle_probe layout|label|open|click read|exit|records|rows|select N|press "
        "choose|add|rename|remove|close|edit NAME NOTE\n");
    return 2;
}
