// Looks at ODOMEI's port chooser from outside, as a person would: `port_probe open` presses the
// main window's ポート設定 button; `port_probe rows` prints each row of the chooser's list (the
// columns' texts, tab-separated, UTF-8) with a '*' before the selected one; `port_probe
// devicechange` tells it that the system's devices changed, as Windows does when an adapter is
// plugged in or pulled out; `port_probe message nosearch|found COMn` prints the message box shown
// and says whether it is the search's "no port to search" or "found on COMn". Exit status 0 when
// the chooser (or that message) was found, or the button pressed.
#include <windows.h>
// The list view.
#include <commctrl.h>
#include <dbt.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/windows/ProbeSupport.h"
#include "ui/PortPresenter.h"
#include "ui/Texts.h"

namespace {

constexpr int kTextChars = 512;
constexpr int kMessageTextId = 0xFFFF;  // the static text of a message box
constexpr int kMaxColumns = 16;

using probe::Utf8;
using probe::Wide;

// The texts of the message boxes over the program's windows (its caption, with a message text).
BOOL CALLBACK CollectMessage(HWND window, LPARAM found) {
    wchar_t caption[kTextChars] = {};
    GetWindowTextW(window, caption, kTextChars);
    HWND text = GetDlgItem(window, kMessageTextId);
    if (text != nullptr && Utf8(caption) == odomei::kAppTitle) {
        wchar_t message[kTextChars] = {};
        GetWindowTextW(text, message, kTextChars);
        reinterpret_cast<std::string*>(found)->append(Utf8(message));
    }
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace odomei;
    const std::string command = argc > 1 ? argv[1] : "rows";
    if (command == "message") {
        std::string shown;
        EnumWindows(&CollectMessage, reinterpret_cast<LPARAM>(&shown));
        const std::string kind = argc > 2 ? argv[2] : "";
        const std::string expected = kind == "nosearch"            ? std::string(kNoSearchPortText)
                                     : kind == "found" && argc > 3 ? MeterFoundText(argv[3])
                                                                   : std::string();
        std::printf("%s\n", shown.c_str());
        // The box's details follow after an empty line.
        return !expected.empty() && (shown == expected || shown.rfind(expected + "\n\n", 0) == 0)
                   ? 0
                   : 1;
    }
    if (command == "open") return probe::ClickMainButton(kAppTitle, IDC_PORT_SETTINGS);
    HWND chooser = FindWindowW(nullptr, Wide(kPortDlgCaption).c_str());
    HWND list = chooser != nullptr ? GetDlgItem(chooser, IDC_PORT_LIST) : nullptr;
    if (list == nullptr) {
        std::printf("no port chooser\n");
        return 1;
    }
    if (command == "devicechange") {
        PostMessageW(chooser, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
        return 0;
    }
    const probe::Remote remote(list);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    int columns =
        header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    if (columns < 1 || columns > kMaxColumns) columns = 1;
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < rows; ++r) {
        const bool selected = SendMessageW(list, LVM_GETITEMSTATE, r, LVIS_SELECTED) != 0;
        std::string line = selected ? "*" : " ";
        for (int c = 0; c < columns; ++c) line += (c ? "\t" : "") + remote.CellText(list, r, c);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    return 0;
}
