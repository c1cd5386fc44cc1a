// Looks at the record list of the running ODOMEI window from outside, as a person would: no
// horizontal scroll bar, the columns within the list, and every column wide enough for its
// caption and the widest figure it shows, in the dialog's font at the display's scaling.
// Prints what it finds; exit status 0 when all is whole.
#include <windows.h>
// The list view.
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "ui/Texts.h"

namespace {

constexpr int kFontPoints = 9;  // the dialog's font, as the resource script gives it
constexpr int kPointsPerInch = 72;
// The room a header keeps around its caption: three edges on either side.
constexpr int kCaptionEdges = 6;

std::wstring Wide(const char* utf8) {
    std::wstring w(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), static_cast<int>(w.size()));
    w.pop_back();
    return w;
}

}  // namespace

int main() {
    using namespace odomei;
    HWND window = FindWindowW(nullptr, Wide(kAppTitle).c_str());
    HWND list = window != nullptr ? GetDlgItem(window, IDC_RECORD_LIST) : nullptr;
    if (list == nullptr) {
        std::printf("no record list\n");
        return 1;
    }
    int faults = 0;
    if (GetWindowLongW(list, GWL_STYLE) & WS_HSCROLL) {
        std::printf("the list has a horizontal scroll bar\n");
        ++faults;
    }
    HDC dc = GetDC(list);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    HFONT font =
        CreateFontW(-MulDiv(kFontPoints, dpi, kPointsPerInch), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                    FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                    DEFAULT_QUALITY, DEFAULT_PITCH, Wide("ＭＳ Ｐゴシック").c_str());
    HGDIOBJ old = SelectObject(dc, font);
    const int edge = GetSystemMetrics(SM_CXEDGE);
    RECT client{};
    GetClientRect(list, &client);
    int total = 0;
    for (int c = 0; c < kColumnCount; ++c) {
        const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0));
        total += width;
        for (const char* text : {kColumns[c].caption, kWidestTexts[c]}) {
            const std::wstring w = Wide(text);
            SIZE size{};
            GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
            if (size.cx + kCaptionEdges * edge > width) {
                std::printf("column %d (%d pixels) cuts \"%s\" (%ld pixels)\n", c, width, text,
                            size.cx);
                ++faults;
            }
        }
        std::printf("%d ", width);
    }
    std::printf("= %d pixels in a list of %ld at %d DPI\n", total, client.right, dpi);
    if (total > client.right) {
        std::printf("the columns are wider than the list\n");
        ++faults;
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(list, dc);
    return faults == 0 ? 0 : 1;
}
