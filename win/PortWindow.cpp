// The port chooser (template 104): draws what PortPresenter decides, and tells it when the
// system's devices change (an adapter plugged in or pulled out) while it is open.
#include <windows.h>
// The list view, and the device change broadcasts.
#include <commctrl.h>
#include <dbt.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "platform/win/Wide.h"
#include "ui/MeterPresenter.h"
#include "ui/PortPresenter.h"
#include "ui/Texts.h"
#include "win/MeterWindow.h"
#include "win/WinUi.h"

namespace odomei::winui {
namespace {

// The interface every COM port driver registers (GUID_DEVINTERFACE_COMPORT).
constexpr GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
// An adapter comes with a burst of broadcasts (the USB device, its port, its interface), and its
// driver names the port a moment after the first: one survey once they have settled.
constexpr UINT_PTR kSettleTimer = 1;
constexpr UINT kSettleMs = 300;
constexpr COLORREF kNotChoosableText = RGB(128, 128, 128);

class PortWindow final : private PortView {
public:
    PortWindow(HINSTANCE instance, HWND owner, MeterPresenter& meter, bool& ending)
        : m_instance(instance), m_owner(owner), m_ending(ending), m_presenter(*this, meter) {}

    ~PortWindow() override {
        if (m_bold) DeleteObject(m_bold);
    }

    void Run() {
        DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_PORTS), m_owner, &PortWindow::Proc,
                        reinterpret_cast<LPARAM>(this));
        SetMessageBoxOwner(m_owner);
    }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        auto* self = reinterpret_cast<PortWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (self == nullptr) return FALSE;
        switch (message) {
            case WM_INITDIALOG: self->m_hwnd = hwnd; return self->OnInitDialog();
            case WM_COMMAND: return self->OnCommand(LOWORD(wParam), HIWORD(wParam));
            case WM_NOTIFY: return self->OnNotify(*reinterpret_cast<NMHDR*>(lParam));
            case WM_DEVICECHANGE:
                if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
                    wParam == DBT_DEVNODES_CHANGED) {
                    SetTimer(hwnd, kSettleTimer, kSettleMs, nullptr);
                }
                return TRUE;
            case WM_TIMER:
                if (wParam != kSettleTimer) return FALSE;
                // A search holds the ports: the survey waits for its end.
                if (self->m_presenter.IsSearching()) return TRUE;
                KillTimer(hwnd, kSettleTimer);
                self->m_presenter.OnDevicesChanged();
                return TRUE;
            case WM_ENDSESSION:
                if (wParam) self->m_ending = true;
                return TRUE;
            case WM_DESTROY:
                KillTimer(hwnd, kSettleTimer);
                if (self->m_notification) UnregisterDeviceNotification(self->m_notification);
                return TRUE;
            default: return FALSE;
        }
    }

    HWND Item(int id) const { return GetDlgItem(m_hwnd, id); }

    BOOL OnInitDialog() {
        m_list = Item(IDC_PORT_LIST);
        SetMessageBoxOwner(m_hwnd);
        ListView_SetExtendedListViewStyleEx(
            m_list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP,
            LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
        for (int c = 0; c < kPortColumnCount; ++c) {
            std::wstring caption = winapi::Wide(kPortColumns[c]);
            LVCOLUMNW column{};
            column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
            column.fmt = LVCFMT_LEFT;
            column.cx = kPortColumnWidths[c];
            column.pszText = caption.data();
            SendMessageW(m_list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
        }
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(m_list, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        font.lfWeight = FW_BOLD;
        m_bold = CreateFontIndirectW(&font);
        // Serial ports that come and go while the chooser is open, USB adapters above all.
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = kComPortInterface;
        m_notification = RegisterDeviceNotificationW(m_hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        m_presenter.Start();
        SetFocus(m_list);
        return FALSE;  // the focus is set
    }

    BOOL OnCommand(int id, int code) {
        if (code != BN_CLICKED) return FALSE;
        switch (id) {
            case IDOK: m_presenter.OnChoose(SelectedRow()); return TRUE;
            case IDCANCEL: m_presenter.OnCancel(); return TRUE;
            case IDC_PORT_REFRESH: m_presenter.OnRefresh(); return TRUE;
            case IDC_PORT_FIND: m_presenter.OnFindMeter(); return TRUE;
            case IDC_PORT_HARDWARE:
                m_presenter.SetSearchHardware(IsDlgButtonChecked(m_hwnd, IDC_PORT_HARDWARE) ==
                                              BST_CHECKED);
                return TRUE;
            default: return FALSE;
        }
    }

    BOOL OnNotify(NMHDR& header) {
        if (header.idFrom != IDC_PORT_LIST) return FALSE;
        switch (header.code) {
            case LVN_ITEMCHANGED: {
                const auto& change = reinterpret_cast<NMLISTVIEW&>(header);
                if (!m_filling && (change.uChanged & LVIF_STATE) &&
                    ((change.uNewState ^ change.uOldState) & LVIS_SELECTED)) {
                    m_presenter.OnSelect(SelectedRow());
                }
                return TRUE;
            }
            case LVN_ITEMACTIVATE: {  // a double click, or Enter on the list
                const auto& item = reinterpret_cast<NMITEMACTIVATE&>(header);
                m_presenter.OnChoose(item.iItem);
                return TRUE;
            }
            case LVN_GETINFOTIPW: {
                auto& tip = reinterpret_cast<NMLVGETINFOTIPW&>(header);
                if (tip.iItem >= 0 && tip.iItem < static_cast<int>(m_rows.size()) &&
                    tip.cchTextMax > 0) {
                    const std::wstring reason = winapi::Wide(m_rows[tip.iItem].reason);
                    lstrcpynW(tip.pszText, reason.c_str(), tip.cchTextMax);
                }
                return TRUE;
            }
            case NM_CUSTOMDRAW:
                SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT,
                                  CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(header)));
                return TRUE;
            default: return FALSE;
        }
    }

    // The port in use in bold; ports that cannot be chosen in grey.
    LRESULT CustomDraw(NMLVCUSTOMDRAW& draw) {
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
        if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
        const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
        if (row >= m_rows.size()) return CDRF_DODEFAULT;
        LRESULT result = CDRF_DODEFAULT;
        if (!m_rows[row].choosable) draw.clrText = kNotChoosableText;
        if (m_rows[row].current && m_bold != nullptr) {
            SelectObject(draw.nmcd.hdc, m_bold);
            result = CDRF_NEWFONT;
        }
        return result;
    }

    int SelectedRow() const { return ListView_GetNextItem(m_list, -1, LVNI_SELECTED); }

    // The rows shown decide: the port in use is drawn in bold.
    void FitWidths() {
        const TextMeasure normal(m_list);
        const TextMeasure bold(m_list, m_bold);
        std::vector<int> widest(kPortColumnCount);
        for (const PortRow& row : m_rows) {
            const TextMeasure& cells = row.current && m_bold != nullptr ? bold : normal;
            for (int c = 0; c < kPortColumnCount && c < static_cast<int>(row.texts.size()); ++c) {
                widest[c] = std::max(widest[c], cells.Width(row.texts[c]));
            }
        }
        FitListColumns(m_list, {std::begin(kPortColumnWidths), std::end(kPortColumnWidths)},
                       widest);
    }

    void ShowPorts(const std::vector<PortRow>& rows, int selected) override {
        m_filling = true;
        m_rows = rows;
        SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
        ListView_DeleteAllItems(m_list);
        for (const PortRow& row : rows) AddRow(m_list, row.texts);
        FitWidths();
        if (selected >= 0 && selected < static_cast<int>(rows.size())) {
            ListView_SetItemState(m_list, selected, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
            ListView_EnsureVisible(m_list, selected, FALSE);
        }
        SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(m_list, nullptr, TRUE);
        m_filling = false;
    }

    void ShowStatus(const std::string& text) override {
        SetText(Item(IDC_PORT_STATUS), text);
        UpdateWindow(Item(IDC_PORT_STATUS));
    }

    void EnableCommands(const PortCommands& state) override {
        HWND focus = GetFocus();
        EnableWindow(Item(IDOK), state.ok);
        EnableWindow(Item(IDC_PORT_REFRESH), state.refresh);
        EnableWindow(Item(IDC_PORT_FIND), state.find);
        EnableWindow(Item(IDC_PORT_HARDWARE), state.find);
        // A button disabled with the focus hands it on, as the main window's do.
        if (focus != nullptr && IsChild(m_hwnd, focus) && !IsWindowEnabled(focus)) {
            SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_list), TRUE);
        }
    }

    int Message(const std::string& text, unsigned flags, const std::string& detail) override {
        return MessageBoxUtf8(text, flags, detail);
    }

    void BeginBusy() override { m_busy.Begin(m_hwnd); }
    void EndBusy() override { m_busy.End(m_hwnd); }

    int Pause(SerialHandle port, int ms, bool untilInput) override {
        return PumpingPause(port, ms, untilInput, m_ending);
    }

    bool Ending() const override { return m_ending; }

    void Close(bool chosen) override { EndDialog(m_hwnd, chosen ? IDOK : IDCANCEL); }

    HINSTANCE m_instance;
    HWND m_owner;
    bool& m_ending;
    HWND m_hwnd = nullptr;
    HWND m_list = nullptr;
    HFONT m_bold = nullptr;
    HDEVNOTIFY m_notification = nullptr;
    WindowBusy m_busy;
    std::vector<PortRow> m_rows;
    bool m_filling = false;
    PortPresenter m_presenter;  // last: it talks to the dialog from its first call
};

}  // namespace

void ShowPortChooser(HINSTANCE instance, HWND owner, MeterPresenter& meter, bool& ending) {
    PortWindow window(instance, owner, meter, ending);
    window.Run();
}

}  // namespace odomei::winui
