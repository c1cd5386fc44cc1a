// Looks at a list of the running ODOMEI from outside, as a person would: `list_probe` the main
// window's record list, `list_probe ports` the port chooser's, `list_probe history` the history
// window's, `list_probe vehicles` the vehicle dialog's. The list must have no horizontal scroll
// bar, its columns must fill it exactly, and every column must be wide enough for its caption and
// for every text it shows, in the dialog's font at the display's scaling (in bold for the chooser's
// row of the port in use, which it draws so); the record list also for the widest figure a read can
// put in it, since it is laid out before one. Prints what it finds; exit status 0 when all is
// whole.
#include <windows.h>
// The list view.
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/windows/ProbeSupport.h"
#include "ui/HistoryText.h"
#include "ui/PortPresenter.h"
#include "ui/Texts.h"
#include "win/WinIds.h"

namespace {

using namespace odomei;
using probe::Wide;

constexpr int kFontPoints = 9;  // the dialog's font, as the resource script gives it
constexpr int kPointsPerInch = 72;
// The room a header keeps around its caption: three edges on either side; a cell keeps as much.
constexpr int kCaptionEdges = 6;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The dialog's font as the display's scaling makes it, normal or bold, measuring texts.
class Measure {
public:
    explicit Measure(HWND list) : m_list(list), m_dc(GetDC(list)) {
        m_dpi = GetDeviceCaps(m_dc, LOGPIXELSY);
        for (int weight : {FW_NORMAL, FW_BOLD}) {
            m_fonts.push_back(CreateFontW(-MulDiv(kFontPoints, m_dpi, kPointsPerInch), 0, 0, 0,
                                          weight, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                          DEFAULT_PITCH, Wide("ＭＳ Ｐゴシック").c_str()));
        }
        m_old = SelectObject(m_dc, m_fonts[0]);
    }
    ~Measure() {
        SelectObject(m_dc, m_old);
        for (HFONT font : m_fonts) DeleteObject(font);
        ReleaseDC(m_list, m_dc);
    }
    Measure(const Measure&) = delete;
    Measure& operator=(const Measure&) = delete;

    int Dpi() const { return m_dpi; }
    int Width(const std::string& text, bool bold) const {
        SelectObject(m_dc, m_fonts[bold ? 1 : 0]);
        const std::wstring w = Wide(text);
        SIZE size{};
        GetTextExtentPoint32W(m_dc, w.c_str(), static_cast<int>(w.size()), &size);
        return size.cx;
    }

private:
    HWND m_list;
    HDC m_dc;
    int m_dpi = 0;
    std::vector<HFONT> m_fonts;
    HGDIOBJ m_old = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string which = argc > 1 ? argv[1] : "main";
    const char* title = which == "ports"      ? kPortDlgCaption
                        : which == "history"  ? kHistoryTitle
                        : which == "vehicles" ? kVehiclesText
                                              : kAppTitle;
    const int id = which == "ports"      ? IDC_PORT_LIST
                   : which == "history"  ? winui::kIdcHistoryList
                   : which == "vehicles" ? IDC_VEHICLE_LIST
                                         : IDC_RECORD_LIST;
    HWND window = FindWindowW(nullptr, Wide(title).c_str());
    HWND list = window != nullptr ? GetDlgItem(window, id) : nullptr;
    if (list == nullptr) {
        std::printf("no %s list\n", which.c_str());
        return 1;
    }
    int faults = 0;
    if (GetWindowLongW(list, GWL_STYLE) & WS_HSCROLL) {
        std::printf("the list has a horizontal scroll bar\n");
        ++faults;
    }
    const probe::Remote remote(list);
    const Measure measure(list);
    const int room = kCaptionEdges * GetSystemMetrics(SM_CXEDGE);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns =
        header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    // The rows the chooser draws in bold.
    std::vector<bool> bold(rows, false);
    if (which == "ports") {
        for (int r = 0; r < rows; ++r) {
            bold[r] = EndsWith(remote.CellText(list, r, columns - 1), kPortCurrentMark);
        }
    }
    RECT client{};
    GetClientRect(list, &client);
    int total = 0;
    for (int c = 0; c < columns; ++c) {
        const int width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, c, 0));
        total += width;
        const auto check = [&](const std::string& text, bool inBold, const char* what) {
            const int needed = measure.Width(text, inBold) + room;
            if (needed > width) {
                std::printf("column %d (%d pixels) cuts %s \"%s\" (%d pixels with its margins)\n",
                            c, width, what, text.c_str(), needed);
                ++faults;
            }
        };
        check(remote.Caption(list, c), false, "its caption");
        if (which == "main" && c < kColumnCount) check(kWidestTexts[c], false, "the widest text");
        for (int r = 0; r < rows; ++r) {
            const std::string text = remote.CellText(list, r, c);
            if (!text.empty()) check(text, bold[r], bold[r] ? "the bold text" : "the text");
        }
        std::printf("%d ", width);
    }
    std::printf("= %d pixels in a list of %ld at %d DPI, %d rows\n", total, client.right,
                measure.Dpi(), rows);
    if (columns == 0) {
        std::printf("the list has no columns\n");
        ++faults;
    }
    // Fitted as the record list is, the columns fill the list: no strip of it left empty.
    if (total > client.right) {
        std::printf("the columns are wider than the list\n");
        ++faults;
    } else if (total < client.right) {
        std::printf("the columns leave %ld pixels of the list empty\n", client.right - total);
        ++faults;
    }
    return faults == 0 ? 0 : 1;
}
