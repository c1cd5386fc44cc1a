#include "win/WinUi.h"

// The list view.
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>

#include "platform/Clock.h"
#include "platform/win/Wide.h"
#include "ui/Texts.h"

namespace odomei::winui {
namespace {

HWND g_owner = nullptr;
// Input is looked at every millisecond while a pause of the exchange waits for it.
constexpr DWORD kPauseSliceMs = 1;
constexpr int kCaptionChars = 128;  // more than any column caption

}  // namespace

void SetMessageBoxOwner(HWND owner) { g_owner = owner; }

int MessageBoxUtf8(const std::string& text, unsigned flags, const std::string& detail) {
    const std::string shown = detail.empty() ? text : text + "\n\n" + detail;
    const bool ownerEnabled = g_owner != nullptr && IsWindowEnabled(g_owner);
    const int answer = MessageBoxW(g_owner, winapi::Wide(shown).c_str(),
                                   winapi::Wide(kAppTitle).c_str(), ShownMessageBoxFlags(flags));
    // The box enables its owner when it goes: a window kept disabled (during a read) stays so.
    if (g_owner != nullptr && !ownerEnabled) EnableWindow(g_owner, FALSE);
    return answer;
}

std::optional<SaveAsResult> ShowSaveAsDialog(HWND owner, const SaveAsRequest& request) {
    std::vector<SaveType> types{{request.typeDescription, request.typePattern}};
    types.insert(types.end(), request.moreTypes.begin(), request.moreTypes.end());
    std::wstring file = winapi::Wide(request.initialName);
    file.resize(32768);
    // Each type's description and pattern, each ended by a zero; a zero more after the last.
    std::wstring filter;
    for (const SaveType& t : types) {
        filter += winapi::Wide(t.description) + L'\0' + winapi::Wide(t.pattern) + L'\0';
    }
    filter += L'\0';
    const std::wstring folder = winapi::Wide(request.directory);
    // With a default suffix set, the dialog gives a name typed without one the chosen type's.
    const std::wstring defaultSuffix = winapi::Wide(PatternSuffix(request.typePattern));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrDefExt = defaultSuffix.empty() ? nullptr : defaultSuffix.c_str() + 1;  // no point
    // The working folder stays; an existing file is replaced only after a question when asked
    // for.
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                (request.confirmOverwrite ? OFN_OVERWRITEPROMPT : 0);
    if (!GetSaveFileNameW(&ofn)) return std::nullopt;
    // nFilterIndex counts the types from 1.
    const std::size_t type =
        ofn.nFilterIndex >= 1 ? std::min<std::size_t>(ofn.nFilterIndex - 1, types.size() - 1) : 0;
    SaveAsResult result{winapi::Narrow(file.c_str()),
                        winapi::Narrow(file.c_str() + ofn.nFileOffset), type};
    // A dialog that left the name bare anyway: the suffix is added here (a file of that name is
    // then replaced without the dialog's question).
    const std::string suffix = PatternSuffix(types[type].pattern);
    if (!suffix.empty() && result.fileName.find('.') == std::string::npos) {
        result.path += suffix;
        result.fileName += suffix;
    }
    return result;
}

std::string PatternSuffix(const std::string& pattern) {
    // "*.csv" gives ".csv"; "*.*", "*" and a list ("*.csv;*.txt") give none of their own.
    if (pattern.size() < 3 || pattern.compare(0, 2, "*.") != 0) return {};
    const std::string suffix = pattern.substr(1);
    if (suffix.find_first_of("*?;") != std::string::npos) return {};
    return suffix;
}

void SetText(HWND control, const std::string& utf8) {
    SetWindowTextW(control, winapi::Wide(utf8).c_str());
}

TextMeasure::TextMeasure(HWND control, HFONT font) : m_control(control), m_dc(GetDC(control)) {
    if (font == nullptr) font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    m_old = SelectObject(m_dc, font);
}

TextMeasure::~TextMeasure() {
    SelectObject(m_dc, m_old);
    ReleaseDC(m_control, m_dc);
}

int TextMeasure::Width(const std::string& utf8) const {
    const std::wstring text = winapi::Wide(utf8);
    SIZE size{};
    GetTextExtentPoint32W(m_dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

int TextWidth(HWND control, const std::string& utf8) { return TextMeasure(control).Width(utf8); }

ColumnScale DialogScale(HWND window) {
    int dpi = static_cast<int>(GetDpiForWindow(window));
    if (dpi == 0) {
        HDC dc = GetDC(window);
        dpi = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(window, dc);
    }
    return {dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI, USER_DEFAULT_SCREEN_DPI};
}

void SetColumns(HWND list, const std::vector<std::string>& captions) {
    while (ListView_DeleteColumn(list, 0)) {
    }
    for (std::size_t c = 0; c < captions.size(); ++c) {
        std::wstring caption = winapi::Wide(captions[c]);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        column.fmt = LVCFMT_CENTER;
        column.pszText = caption.data();
        SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    ListView_SetExtendedListViewStyleEx(list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT,
                                        LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
}

void AddRow(HWND list, const std::vector<std::string>& texts) {
    const int row = ListView_GetItemCount(list);
    for (std::size_t c = 0; c < texts.size(); ++c) {
        std::wstring text = winapi::Wide(texts[c]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = static_cast<int>(c);
        item.pszText = text.data();
        SendMessageW(list, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, c == 0 ? 0 : row,
                     reinterpret_cast<LPARAM>(&item));
    }
}

void FitListColumns(HWND list, const std::vector<int>& designed, std::vector<int> textWidths) {
    const ColumnScale scale = DialogScale(list);
    HWND header = ListView_GetHeader(list);
    const TextMeasure captions(header != nullptr ? header : list);
    for (std::size_t c = 0; c < textWidths.size(); ++c) {
        wchar_t caption[kCaptionChars] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT;
        column.pszText = caption;
        column.cchTextMax = kCaptionChars;
        if (SendMessageW(list, LVM_GETCOLUMNW, c, reinterpret_cast<LPARAM>(&column))) {
            textWidths[c] = std::max(textWidths[c], captions.Width(winapi::Narrow(caption)));
        }
        textWidths[c] += kCellPadding;
    }
    // The room inside the border with no scroll bar, then less the vertical one where the rows
    // need it: the columns are fitted so that no horizontal one takes height.
    const int dpi = scale.numerator;  // the scale is the window's DPI over 96
    const LONG style = GetWindowLongW(list, GWL_STYLE);
    RECT client{};
    GetClientRect(list, &client);
    int width = client.right;
    int height = client.bottom;
    if (style & WS_VSCROLL) width += GetSystemMetricsForDpi(SM_CXVSCROLL, dpi);
    if (style & WS_HSCROLL) height += GetSystemMetricsForDpi(SM_CYHSCROLL, dpi);
    const int rows = ListView_GetItemCount(list);
    RECT row{};
    if (rows > 0 && ListView_GetItemRect(list, 0, &row, LVIR_BOUNDS)) {
        RECT captionRow{};
        if (header != nullptr) GetWindowRect(header, &captionRow);
        if ((captionRow.bottom - captionRow.top) + rows * (row.bottom - row.top) > height) {
            width -= GetSystemMetricsForDpi(SM_CXVSCROLL, dpi);
        }
    }
    const std::vector<int> widths = FitColumns(designed, textWidths, width, scale);
    for (std::size_t c = 0; c < widths.size(); ++c) {
        ListView_SetColumnWidth(list, static_cast<int>(c), widths[c]);
    }
}

int PumpingPause(SerialHandle port, int ms, bool untilInput, bool& ending) {
    const std::int64_t start = MonotonicMicros();
    const std::int64_t end = start + std::int64_t{ms} * 1000;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ending = true;
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const std::int64_t now = MonotonicMicros();
        if (ending || now >= end) break;
        if (untilInput && port != nullptr && port->WaitForInput(0)) break;
        const DWORD left = static_cast<DWORD>((end - now + 999) / 1000);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, untilInput ? kPauseSliceMs : left,
                                  QS_ALLINPUT);
    }
    return static_cast<int>((MonotonicMicros() - start + 500) / 1000);
}

void WindowBusy::Begin(HWND window) {
    m_focus = GetFocus();
    EnableWindow(window, FALSE);
    m_cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void WindowBusy::End(HWND window) {
    SetCursor(m_cursor);
    EnableWindow(window, TRUE);
    if (m_focus != nullptr && IsChild(window, m_focus)) {
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_focus), TRUE);
    }
}

}  // namespace odomei::winui
