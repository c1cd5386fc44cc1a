// The vehicle dialog (template 105): draws what VehiclePresenter decides, the logbook's vehicles
// in a list with the one selected, and hands the clicks to it; the name-and-note dialog
// (template 106) asks for a vehicle's name and note when one is added or changed.
#include <windows.h>
// The list view.
#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/win/Wide.h"
#include "ui/Texts.h"
#include "ui/VehiclePresenter.h"
#include "win/MeterWindow.h"
#include "win/WinUi.h"

namespace odomei::winui {
namespace {

// The columns' widths at 96 DPI (the name's takes what the others leave): the note, a count and
// three dates.
constexpr int kVehicleColumnWidths[] = {0, 80, 40, 70, 70, 90};

std::string ItemText(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return winapi::Narrow(text);
}

// The name-and-note dialog: filled with start, the texts typed when OK is pressed.
class VehicleEditWindow {
public:
    VehicleEditWindow(const VehicleEdit& start, bool adding) : m_edit(start), m_adding(adding) {}

    std::optional<VehicleEdit> Run(HINSTANCE instance, HWND owner) {
        const INT_PTR pressed =
            DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_VEHICLE_EDIT), owner,
                            &VehicleEditWindow::Proc, reinterpret_cast<LPARAM>(this));
        if (pressed != IDOK) return std::nullopt;
        return m_edit;
    }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            return reinterpret_cast<VehicleEditWindow*>(lParam)->OnInitDialog(hwnd);
        }
        auto* self = reinterpret_cast<VehicleEditWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (self == nullptr || message != WM_COMMAND) return FALSE;
        switch (LOWORD(wParam)) {
            case IDOK:
                self->m_edit.name = ItemText(GetDlgItem(hwnd, IDC_VEHICLE_NAME));
                self->m_edit.note = ItemText(GetDlgItem(hwnd, IDC_VEHICLE_NOTE));
                EndDialog(hwnd, IDOK);
                return TRUE;
            case IDCANCEL: EndDialog(hwnd, IDCANCEL); return TRUE;
            default: return FALSE;
        }
    }

    BOOL OnInitDialog(HWND hwnd) {
        SetText(hwnd, m_adding ? kVehicleAddCaption : kVehicleEditCaption);
        SetText(GetDlgItem(hwnd, IDC_VEHICLE_NAME), m_edit.name);
        SetText(GetDlgItem(hwnd, IDC_VEHICLE_NOTE), m_edit.note);
        HWND name = GetDlgItem(hwnd, IDC_VEHICLE_NAME);
        SendMessageW(name, EM_SETSEL, 0, -1);
        SetFocus(name);
        return FALSE;  // the focus is set
    }

    VehicleEdit m_edit;
    bool m_adding;
};

class VehicleWindow final : private VehicleView {
public:
    VehicleWindow(HINSTANCE instance, HWND owner, const VehicleRequest& request)
        : m_instance(instance), m_owner(owner), m_presenter(*this, request) {}

    std::optional<std::string> Run() {
        DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_VEHICLES), m_owner, &VehicleWindow::Proc,
                        reinterpret_cast<LPARAM>(this));
        SetMessageBoxOwner(m_owner);
        return m_presenter.Chosen();
    }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        auto* self = reinterpret_cast<VehicleWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (self == nullptr) return FALSE;
        switch (message) {
            case WM_INITDIALOG: self->m_hwnd = hwnd; return self->OnInitDialog();
            case WM_COMMAND: return self->OnCommand(LOWORD(wParam), HIWORD(wParam));
            case WM_NOTIFY: return self->OnNotify(*reinterpret_cast<NMHDR*>(lParam));
            default: return FALSE;
        }
    }

    HWND Item(int id) const { return GetDlgItem(m_hwnd, id); }

    BOOL OnInitDialog() {
        m_list = Item(IDC_VEHICLE_LIST);
        SetMessageBoxOwner(m_hwnd);
        ListView_SetExtendedListViewStyleEx(m_list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT,
                                            LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
        SetColumns(m_list, m_presenter.Captions());
        m_presenter.Start();
        SetFocus(m_list);
        return FALSE;  // the focus is set
    }

    BOOL OnCommand(int id, int code) {
        if (code != BN_CLICKED) return FALSE;
        switch (id) {
            case IDOK: m_presenter.OnChoose(); return TRUE;  // the button, or Enter on the list
            case IDCANCEL: m_presenter.OnClose(); return TRUE;
            case IDC_VEHICLE_ADD: m_presenter.OnAdd(); return TRUE;
            case IDC_VEHICLE_RENAME: m_presenter.OnRename(); return TRUE;
            case IDC_VEHICLE_REMOVE: m_presenter.OnRemove(); return TRUE;
            default: return FALSE;
        }
    }

    BOOL OnNotify(NMHDR& header) {
        if (header.idFrom != IDC_VEHICLE_LIST) return FALSE;
        switch (header.code) {
            case LVN_ITEMCHANGED: {
                const auto& change = reinterpret_cast<NMLISTVIEW&>(header);
                if (!m_filling && (change.uChanged & LVIF_STATE) &&
                    (change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED) &&
                    change.iItem >= 0) {
                    m_presenter.Select(static_cast<std::size_t>(change.iItem));
                }
                return TRUE;
            }
            case LVN_ITEMACTIVATE: {  // a double click
                const auto& item = reinterpret_cast<NMITEMACTIVATE&>(header);
                if (item.iItem < 0) return TRUE;
                m_presenter.Select(static_cast<std::size_t>(item.iItem));
                if (m_presenter.CanChoose()) m_presenter.OnChoose();
                return TRUE;
            }
            default: return FALSE;
        }
    }

    // The rows are filled again only when they changed, so that a selection keeps the list's
    // scrolling and focus.
    void Refresh() override {
        std::vector<std::vector<std::string>> rows;
        for (std::size_t i = 0; i < m_presenter.RowCount(); ++i) {
            rows.push_back(m_presenter.RowTexts(i));
        }
        m_filling = true;
        if (rows != m_rows) {
            m_rows = rows;
            SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
            ListView_DeleteAllItems(m_list);
            for (const auto& texts : rows) AddRow(m_list, texts);
            FitWidths();
            SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
        }
        const auto selected = m_presenter.Selection();
        ListView_SetItemState(m_list, -1, 0, LVIS_SELECTED);
        if (selected && *selected < rows.size()) {
            const int row = static_cast<int>(*selected);
            ListView_SetItemState(m_list, row, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
            ListView_EnsureVisible(m_list, row, FALSE);
        }
        m_filling = false;
        std::string prompt = m_presenter.Prompt();
        if (!m_presenter.Detail().empty()) prompt += "\n" + m_presenter.Detail();
        SetText(Item(IDC_VEHICLE_PROMPT), prompt);
        SetText(Item(IDOK), m_presenter.ChooseText());
        SetText(Item(IDCANCEL), m_presenter.CloseText());
        Enable(IDOK, m_presenter.CanChoose());
        Enable(IDC_VEHICLE_RENAME, m_presenter.CanRename());
        Enable(IDC_VEHICLE_REMOVE, m_presenter.CanRemove());
    }

    // A button disabled with the focus hands it on to the list, as the keyboard would.
    void Enable(int id, bool on) {
        HWND button = Item(id);
        if (!on && GetFocus() == button) {
            SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_list), TRUE);
        }
        EnableWindow(button, on);
    }

    void FitWidths() {
        const TextMeasure cells(m_list);
        std::vector<int> widest(std::size(kVehicleColumnWidths));
        for (const auto& texts : m_rows) {
            for (std::size_t c = 0; c < widest.size() && c < texts.size(); ++c) {
                widest[c] = std::max(widest[c], cells.Width(texts[c]));
            }
        }
        FitListColumns(m_list, {std::begin(kVehicleColumnWidths), std::end(kVehicleColumnWidths)},
                       widest);
    }

    int Message(const std::string& text, unsigned flags, const std::string& detail) override {
        return MessageBoxUtf8(text, flags, detail);
    }

    std::optional<VehicleEdit> AskVehicle(const VehicleEdit& start, bool adding) override {
        return VehicleEditWindow(start, adding).Run(m_instance, m_hwnd);
    }

    void Close() override { EndDialog(m_hwnd, IDCANCEL); }

    HINSTANCE m_instance;
    HWND m_owner;
    HWND m_hwnd = nullptr;
    HWND m_list = nullptr;
    bool m_filling = false;  // the list is being filled: its notifications are not the user's
    std::vector<std::vector<std::string>> m_rows;
    VehiclePresenter m_presenter;
};

}  // namespace

std::optional<std::string> ShowVehicleWindow(HINSTANCE instance, HWND owner,
                                             const VehicleRequest& request) {
    VehicleWindow window(instance, owner, request);
    return window.Run();
}

}  // namespace odomei::winui
