// What the probes share that look at ODOMEI's windows from another process: UTF-8 and UTF-16
// both ways, and memory placed in the window's process for the list view's and date pickers'
// messages, whose pointers are the window's.
#pragma once

#include <windows.h>
// The list view.
#include <commctrl.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace probe {

inline std::wstring Wide(const char* utf8) {
    std::wstring w(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), static_cast<int>(w.size()));
    w.pop_back();
    return w;
}

inline std::wstring Wide(const std::string& utf8) { return Wide(utf8.c_str()); }

// The top-level window titled title that holds the control child: the main window, not a message
// box over it with the same caption (or one that is going).
inline HWND FindWindowWith(const char* title, int child) {
    struct Wanted {
        std::wstring title;
        int child;
        HWND found;
    } wanted{Wide(title), child, nullptr};
    EnumWindows(
        [](HWND window, LPARAM lParam) -> BOOL {
            auto& w = *reinterpret_cast<Wanted*>(lParam);
            wchar_t caption[256] = {};
            GetWindowTextW(window, caption, 256);
            if (w.title != caption || GetDlgItem(window, w.child) == nullptr) return TRUE;
            w.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&wanted));
    return wanted.found;
}

// Clicks a button of the main window titled mainTitle: posted, so that a modal window it opens
// does not hold the probe. 0, or 1 with a word where there is no such window.
inline int ClickMainButton(const char* mainTitle, int button) {
    HWND main = FindWindowWith(mainTitle, button);
    HWND control = main != nullptr ? GetDlgItem(main, button) : nullptr;
    if (control == nullptr) {
        std::printf("no main window\n");
        return 1;
    }
    PostMessageW(control, BM_CLICK, 0, 0);
    return 0;
}

inline std::string Utf8(const wchar_t* utf16) {
    std::string s(WideCharToMultiByte(CP_UTF8, 0, utf16, -1, nullptr, 0, nullptr, nullptr), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, -1, s.data(), static_cast<int>(s.size()), nullptr,
                        nullptr);
    s.pop_back();
    return s;
}

inline std::string Utf8(const std::wstring& utf16) { return Utf8(utf16.c_str()); }

// A block of memory in the window's process: one message's structure at the start, its text
// after it. A probe that cannot have it says why and ends.
class Remote {
public:
    static constexpr std::size_t kTextOffset = 1024;  // where a text goes, after the structure
    static constexpr int kTextChars = 512;            // the longest text read back

    explicit Remote(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        m_process =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (m_process != nullptr) {
            m_base = static_cast<char*>(VirtualAllocEx(m_process, nullptr, kSize,
                                                       MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        }
        if (m_base == nullptr) {
            std::printf("no memory in the window's process (%lu)\n", GetLastError());
            std::exit(1);
        }
    }
    ~Remote() {
        VirtualFreeEx(m_process, m_base, 0, MEM_RELEASE);
        CloseHandle(m_process);
    }
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;

    char* At(std::size_t offset) const { return m_base + offset; }
    wchar_t* Text() const { return reinterpret_cast<wchar_t*>(At(kTextOffset)); }
    void Write(std::size_t offset, const void* data, std::size_t size) const {
        WriteProcessMemory(m_process, m_base + offset, data, size, nullptr);
    }
    void Read(std::size_t offset, void* data, std::size_t size) const {
        ReadProcessMemory(m_process, m_base + offset, data, size, nullptr);
    }
    void WriteText(const std::wstring& text) const {
        Write(kTextOffset, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    std::wstring ReadText() const {
        std::wstring text(kTextChars, L'\0');
        Read(kTextOffset, text.data(), (kTextChars - 1) * sizeof(wchar_t));
        text.resize(text.find(L'\0'));
        return text;
    }

    // A list view's cell and a column's caption.
    std::string CellText(HWND list, int row, int column) const {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = Text();
        item.cchTextMax = kTextChars;
        Write(0, &item, sizeof item);
        SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(At(0)));
        return Utf8(ReadText());
    }
    std::string Caption(HWND list, int column) const {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT;
        c.pszText = Text();
        c.cchTextMax = kTextChars;
        Write(0, &c, sizeof c);
        SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(At(0)));
        return Utf8(ReadText());
    }

private:
    static constexpr std::size_t kSize = 4096;
    HANDLE m_process = nullptr;
    char* m_base = nullptr;
};

}  // namespace probe
