// Looks at ODOMEI's port chooser from outside, as a person would: `port_probe rows` prints each
// row of its list (the columns' texts, tab-separated, UTF-8) with a '*' before the selected one;
// `port_probe devicechange` tells it that the system's devices changed, as Windows does when an
// adapter is plugged in or pulled out; `port_probe message nosearch|found COMn` prints the message
// box shown and says whether it is the search's "no port to search" or "found on COMn". Exit status
// 0 when the chooser (or that message) was found.
#include <windows.h>
// The list view.
#include <commctrl.h>
#include <dbt.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ui/PortPresenter.h"
#include "ui/Texts.h"

namespace {

constexpr int kTextChars = 512;
constexpr int kMessageTextId = 0xFFFF;  // the static text of a message box
constexpr int kMaxColumns = 16;

std::wstring Wide(const char* utf8) {
    std::wstring w(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), static_cast<int>(w.size()));
    w.pop_back();
    return w;
}

std::string Narrow(const wchar_t* utf16) {
    std::string s(WideCharToMultiByte(CP_UTF8, 0, utf16, -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, -1, s.data(), static_cast<int>(s.size()), nullptr,
                        nullptr);
    s.pop_back();
    return s;
}

// The list belongs to another process: the item record and its text buffer are placed in that
// process's memory, and read back from there.
class RemoteItem {
public:
    explicit RemoteItem(HWND list) {
        DWORD pid = 0;
        GetWindowThreadProcessId(list, &pid);
        m_process =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (m_process != nullptr) {
            m_memory = VirtualAllocEx(m_process, nullptr, sizeof(LVITEMW) + kTextChars * 2,
                                      MEM_COMMIT, PAGE_READWRITE);
        }
    }
    ~RemoteItem() {
        if (m_memory != nullptr) VirtualFreeEx(m_process, m_memory, 0, MEM_RELEASE);
        if (m_process != nullptr) CloseHandle(m_process);
    }
    bool Ok() const { return m_memory != nullptr; }

    std::string Text(HWND list, int row, int column) {
        auto* text = static_cast<wchar_t*>(m_memory) + sizeof(LVITEMW) / sizeof(wchar_t);
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = kTextChars;
        WriteProcessMemory(m_process, m_memory, &item, sizeof item, nullptr);
        SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(m_memory));
        wchar_t local[kTextChars] = {};
        ReadProcessMemory(m_process, text, local, sizeof local - sizeof(wchar_t), nullptr);
        return Narrow(local);
    }

private:
    HANDLE m_process = nullptr;
    void* m_memory = nullptr;
};

// The texts of the message boxes over the program's windows (its caption, with a message text).
BOOL CALLBACK CollectMessage(HWND window, LPARAM found) {
    wchar_t caption[kTextChars] = {};
    GetWindowTextW(window, caption, kTextChars);
    HWND text = GetDlgItem(window, kMessageTextId);
    if (text != nullptr && Narrow(caption) == odomei::kAppTitle) {
        wchar_t message[kTextChars] = {};
        GetWindowTextW(text, message, kTextChars);
        reinterpret_cast<std::string*>(found)->append(Narrow(message));
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
    RemoteItem remote(list);
    if (!remote.Ok()) {
        std::printf("cannot reach the chooser's memory\n");
        return 1;
    }
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    int columns =
        header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    if (columns < 1 || columns > kMaxColumns) columns = 1;
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < rows; ++r) {
        const bool selected = SendMessageW(list, LVM_GETITEMSTATE, r, LVIS_SELECTED) != 0;
        std::string line = selected ? "*" : " ";
        for (int c = 0; c < columns; ++c) line += (c ? "\t" : "") + remote.Text(list, r, c);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    return 0;
}
