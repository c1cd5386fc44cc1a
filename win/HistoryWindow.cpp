// The logbook's history on Windows: one vehicle's records (chosen above them), newest first, or
// those of a range of dates, and the summary of what they say about the car and the meter, in the
// unit last chosen in either window, with the two charts of the records shown; those records saved
// as CSV or for a fuel app, the charts as SVG. A record's price and odometer are edited in their
// cells.
#include <windows.h>
// The list view and the date pickers.
#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <optional>

#include "platform/Dates.h"
#include "platform/win/Wide.h"
#include "ui/ChartModel.h"
#include "ui/ChartSvg.h"
#include "ui/HistoryPresenter.h"
#include "ui/HistoryText.h"
#include "ui/Texts.h"
#include "win/ChartGdi.h"
#include "win/MeterWindow.h"
#include "win/WinIds.h"
#include "win/WinUi.h"

namespace odomei::winui {
namespace {

// The columns' widths at 96 DPI, the number's taking what the others leave: the record list's
// seven, a little wider than in the main window's list, and the economies; the columns the
// history adds after them (prices, the odometer) are designed kAddedColumnWidth wide. Together
// they are wider than the list: each gives up room in proportion to what it has to spare.
constexpr int kHistoryColumnWidths[] = {0, 120, 105, 105, 95, 105, 105, 105, 105};
constexpr int kAddedColumnWidth = 90;
// The rows whose texts the added columns are measured by: the newest, as many as a list of a
// million rows can measure at once (the widest prices and readings are among them in practice).
constexpr std::size_t kMeasuredRows = 1000;

// What the window posts itself when a cell's editor is to end: wParam how (EditEnd), lParam the
// editor's number, so that an end meant for an editor already gone is ignored. And when one is to
// open, once the list is done with the double-click: wParam the row, lParam the column.
constexpr UINT kMsgEndEdit = WM_APP + 1;
constexpr UINT kMsgBeginEdit = WM_APP + 2;
enum class EditEnd : WPARAM {
    kStore,   // Enter: stored, the row selected
    kCancel,  // Esc: the cell keeps its value
    kNext,    // Tab and Shift+Tab: stored, and the row's next (previous) editable cell edited
    kPrevious,
    kFocusLost  // the focus went elsewhere (or the list scrolled): stored, as a list's own
                // label editor does; a rejected text is said and the cell keeps its value
};
constexpr UINT_PTR kSubclassId = 1;

// A picker's day as the presenter takes it, "YYYY-MM-DD".
std::string PickedDay(HWND picker) {
    SYSTEMTIME t{};
    if (SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t)) != GDT_VALID) {
        return {};
    }
    return IsoDateText({t.wYear, t.wMonth, t.wDay});
}

void PickDay(HWND picker, const std::string& isoDay) {
    const auto date = ParseIsoDate(isoDay);
    if (!date) return;
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(date->year);
    t.wMonth = static_cast<WORD>(date->month);
    t.wDay = static_cast<WORD>(date->day);
    t.wHour = 12;  // a day's middle: no time zone moves it to another day
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&t));
}

// Draws what the history presenter holds and forwards the range, the unit and the saves to it.
class HistoryWindow final : private HistoryView {
public:
    HistoryWindow(const Logbook& logbook, const std::string& vehicle, const std::string& iniPath,
                  const std::string& directory)
        : m_presenter(*this, logbook, vehicle, iniPath, directory) {}

    void Run(HINSTANCE instance, HWND owner) {
        DialogBoxParamW(instance, MAKEINTRESOURCEW(kIddHistory), owner, &HistoryWindow::Proc,
                        reinterpret_cast<LPARAM>(this));
    }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            reinterpret_cast<HistoryWindow*>(lParam)->OnInitDialog(hwnd);
            return TRUE;
        }
        auto* self = reinterpret_cast<HistoryWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (self == nullptr) return FALSE;
        switch (message) {
            case WM_COMMAND: return self->OnCommand(LOWORD(wParam), HIWORD(wParam));
            case WM_NOTIFY: return self->OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
            case kMsgEndEdit: {
                const auto how = static_cast<EditEnd>(wParam);
                // An end for an editor gone, or a loss of the focus the editor has since got
                // back (after a message box): the edit goes on.
                if (static_cast<UINT>(lParam) != self->m_editNumber) return TRUE;
                if (how == EditEnd::kFocusLost && GetFocus() == self->m_editor) return TRUE;
                self->EndEdit(how);
                return TRUE;
            }
            case kMsgBeginEdit:
                self->BeginEdit(static_cast<std::size_t>(wParam), static_cast<int>(lParam));
                return TRUE;
            default: return FALSE;
        }
    }

    HWND Item(int id) const { return GetDlgItem(m_hwnd, id); }

    void OnInitDialog(HWND hwnd) {
        m_hwnd = hwnd;
        SetMessageBoxOwner(hwnd);
        HWND units = Item(kIdcHistoryUnits);
        for (const char* u : {kKmPerLitreUnit, kLitresPer100KmUnit}) {
            SendMessageW(units, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(winapi::Wide(u).c_str()));
        }
        const std::wstring format = winapi::Wide(kHistoryDateFormat);
        for (int id : {kIdcHistoryFrom, kIdcHistoryTo}) {
            SendMessageW(Item(id), DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format.c_str()));
        }
        m_presenter.Start();
        SendMessageW(units, CB_SETCURSEL, m_presenter.PerHundredKm() ? 1 : 0, 0);
        HWND vehicles = Item(IDC_HISTORY_VEHICLE);
        for (const std::string& name : m_presenter.VehicleNames()) {
            SendMessageW(vehicles, CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(winapi::Wide(name).c_str()));
        }
        SendMessageW(vehicles, CB_SETCURSEL, m_presenter.VehicleIndex(), 0);
        PickSpan();
        // A scroll while a cell is edited ends the edit (the editor would stay where it was).
        SetWindowSubclass(Item(kIdcHistoryList), &HistoryWindow::ListProc, kSubclassId,
                          reinterpret_cast<DWORD_PTR>(this));
    }

    // The range starts as the whole of the vehicle's records, ready to be narrowed.
    void PickSpan() {
        if (const auto span = m_presenter.DateSpan()) {
            PickDay(Item(kIdcHistoryFrom), span->first);
            PickDay(Item(kIdcHistoryTo), span->second);
        }
    }

    BOOL OnCommand(int id, int code) {
        switch (id) {
            case IDC_HISTORY_VEHICLE: {
                if (code != CBN_SELCHANGE) return FALSE;
                const LRESULT chosen = SendMessageW(Item(IDC_HISTORY_VEHICLE), CB_GETCURSEL, 0, 0);
                if (chosen == CB_ERR) return TRUE;
                m_presenter.SelectVehicle(static_cast<std::size_t>(chosen));
                // A range that is on stays as it is; one that is off follows the vehicle's span.
                if (IsDlgButtonChecked(m_hwnd, kIdcHistoryRange) != BST_CHECKED) PickSpan();
                return TRUE;
            }
            case kIdcHistoryUnits:
                if (code != CBN_SELCHANGE) return FALSE;
                m_presenter.SetPerHundredKm(
                    SendMessageW(Item(kIdcHistoryUnits), CB_GETCURSEL, 0, 0) == 1);
                return TRUE;
            case kIdcHistoryRange: {
                if (code != BN_CLICKED) return FALSE;
                const bool on = IsDlgButtonChecked(m_hwnd, kIdcHistoryRange) == BST_CHECKED;
                EnableWindow(Item(kIdcHistoryFrom), on);
                EnableWindow(Item(kIdcHistoryTo), on);
                Reload();
                return TRUE;
            }
            case kIdcHistoryExport:
                if (code != BN_CLICKED) return FALSE;
                m_presenter.OnExport();
                return TRUE;
            case kIdcHistoryExportApp:
                if (code != BN_CLICKED) return FALSE;
                m_presenter.OnExportForApp();
                return TRUE;
            case kIdcHistorySaveChart:
                if (code != BN_CLICKED) return FALSE;
                SaveHistoryCharts(m_presenter, *this);
                return TRUE;
            case IDOK:
            case IDCANCEL:
                // Closed while a cell is edited (Alt+F4): what was typed is kept, as on any
                // other way out of the cell.
                if (m_editor != nullptr) EndEdit(EditEnd::kFocusLost);
                EndDialog(m_hwnd, IDCANCEL);
                return TRUE;
            default: return FALSE;
        }
    }

    // Every record, or those of the range the pickers give.
    void Reload() {
        if (IsDlgButtonChecked(m_hwnd, kIdcHistoryRange) != BST_CHECKED) {
            m_presenter.ShowAll();
            return;
        }
        m_presenter.ShowRange(PickedDay(Item(kIdcHistoryFrom)), PickedDay(Item(kIdcHistoryTo)));
    }

    void Refresh() override {
        CloseEditor();  // its row may be gone
        HWND list = Item(kIdcHistoryList);
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        // The list holds no rows of its own (LVS_OWNERDATA): it asks for the texts of those it
        // draws (LVN_GETDISPINFO). New rows start with none selected, as a list filled afresh.
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        const std::vector<std::string> captions = m_presenter.Captions();
        SetColumns(list, captions);
        // The main list's widest texts where its columns are the same; what the rows show where
        // they are not (the numbers, the economies, prices and the odometer), or may show (the
        // gap's marker).
        const std::size_t rows = m_presenter.RowCount();
        const TextMeasure cells(list);
        std::vector<int> widest;
        std::vector<int> designed;
        for (std::size_t c = 0; c < captions.size(); ++c) {
            widest.push_back(c < std::size(kWidestTexts) ? cells.Width(kWidestTexts[c]) : 0);
            designed.push_back(c < std::size(kHistoryColumnWidths) ? kHistoryColumnWidths[c]
                                                                   : kAddedColumnWidth);
        }
        widest[0] = cells.Width(std::to_string(rows));  // no number is larger than the rows
        widest[1] = std::max(widest[1], cells.Width(kGapMarkerText));
        for (std::size_t i = 0; i < rows && i < kMeasuredRows; ++i) {
            for (std::size_t c = std::size(kWidestTexts); c < widest.size(); ++c) {
                widest[c] =
                    std::max(widest[c], cells.Width(m_presenter.CellText(i, static_cast<int>(c))));
            }
        }
        ListView_SetItemCountEx(list, static_cast<int>(rows), 0);
        FitListColumns(list, designed, widest);
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
        SetText(Item(kIdcHistorySummary), m_presenter.SummaryText());
        m_charts.emplace(m_presenter.Sheet(), m_presenter.Chosen(), m_presenter.PerHundredKm());
        SetChart(Item(kIdcHistoryEconomyChart), &*m_charts, ChartKind::kEconomy);
        SetChart(Item(kIdcHistoryErrorChart), &*m_charts, ChartKind::kError);
    }

    // A double-click on an editable cell, or F2 on a row (its first editable cell), edits it.
    BOOL OnNotify(const NMHDR& header) {
        if (header.code == DTN_DATETIMECHANGE) {
            if (header.idFrom == kIdcHistoryFrom || header.idFrom == kIdcHistoryTo) Reload();
            return TRUE;
        }
        if (header.idFrom != kIdcHistoryList) return FALSE;
        HWND list = Item(kIdcHistoryList);
        if (header.code == LVN_GETDISPINFOW) {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(const_cast<NMHDR&>(header)).item;
            if ((item.mask & LVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0 &&
                item.iItem >= 0 && static_cast<std::size_t>(item.iItem) < m_presenter.RowCount()) {
                // Only the cells drawn are formatted; the list copies the text at once.
                m_cellText = winapi::Wide(
                    m_presenter.CellText(static_cast<std::size_t>(item.iItem), item.iSubItem));
                lstrcpynW(item.pszText, m_cellText.c_str(), item.cchTextMax);
            }
            return TRUE;
        }
        if (header.code == NM_DBLCLK) {
            LVHITTESTINFO hit{};
            hit.pt = reinterpret_cast<const NMITEMACTIVATE&>(header).ptAction;
            if (SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) >= 0 &&
                hit.iItem >= 0) {
                PostMessageW(m_hwnd, kMsgBeginEdit, static_cast<WPARAM>(hit.iItem), hit.iSubItem);
            }
            return TRUE;
        }
        if (header.code == LVN_KEYDOWN &&
            reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_F2) {
            const int row = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
            if (row >= 0) {
                if (const auto column = NextEditable(static_cast<std::size_t>(row), -1, 1)) {
                    BeginEdit(static_cast<std::size_t>(row), *column);
                }
            }
            return TRUE;
        }
        return FALSE;
    }

    // The row's editable column after (step 1) or before (step -1) column; nothing without one.
    std::optional<int> NextEditable(std::size_t row, int column, int step) const {
        const int columns = static_cast<int>(m_presenter.Captions().size());
        for (int c = column + step; c >= 0 && c < columns; c += step) {
            if (m_presenter.IsEditable(row, c)) return c;
        }
        return std::nullopt;
    }

    // An edit control over the cell, holding its text, all of it selected.
    void BeginEdit(std::size_t row, int column) {
        if (row >= m_presenter.RowCount() || !m_presenter.IsEditable(row, column)) return;
        CloseEditor();
        HWND list = Item(kIdcHistoryList);
        const int item = static_cast<int>(row);
        ListView_EnsureVisible(list, item, FALSE);
        RECT cell{};
        cell.top = column;
        // The first column's bounds are the whole row's; its label is the cell.
        cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
        if (!SendMessageW(list, LVM_GETSUBITEMRECT, item, reinterpret_cast<LPARAM>(&cell))) return;
        const std::vector<std::string> texts = m_presenter.RowTexts(row);
        const std::string text =
            static_cast<std::size_t>(column) < texts.size() ? texts[column] : std::string();
        m_editor = CreateWindowExW(
            0, L"EDIT", winapi::Wide(text).c_str(),
            WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | ES_CENTER, cell.left, cell.top,
            cell.right - cell.left, cell.bottom - cell.top, list, nullptr,
            reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(m_hwnd, GWLP_HINSTANCE)), nullptr);
        if (m_editor == nullptr) return;
        ++m_editNumber;
        m_editRow = row;
        m_editColumn = column;
        SendMessageW(m_editor, WM_SETFONT, SendMessageW(list, WM_GETFONT, 0, 0), FALSE);
        SetWindowSubclass(m_editor, &HistoryWindow::EditorProc, kSubclassId,
                          reinterpret_cast<DWORD_PTR>(this));
        SendMessageW(m_editor, EM_SETSEL, 0, -1);
        SetFocus(m_editor);
    }

    // Ends the cell's edit: the text is stored (the presenter says why where it cannot be, and
    // the cell then keeps its value), or left. A rejected text ended by a key stays in the editor
    // to be put right; one whose editor lost the focus goes with it.
    void EndEdit(EditEnd how) {
        if (m_editor == nullptr || m_storing) return;
        if (how == EditEnd::kCancel) {
            CloseEditor(true);
            return;
        }
        const int length = GetWindowTextLengthW(m_editor);
        std::wstring typed(static_cast<std::size_t>(length) + 1, L'\0');
        GetWindowTextW(m_editor, typed.data(), length + 1);
        typed.resize(static_cast<std::size_t>(length));
        const std::size_t row = m_editRow;
        const int column = m_editColumn;
        HWND list = Item(kIdcHistoryList);
        const int top = ListView_GetTopIndex(list);
        m_storing = true;  // the message box the presenter may show takes the focus
        const bool stored = m_presenter.OnEdit(row, column, winapi::Narrow(typed));
        m_storing = false;
        if (!stored) {
            if (how == EditEnd::kFocusLost) {
                CloseEditor();
            } else if (m_editor != nullptr) {
                SetFocus(m_editor);
                SendMessageW(m_editor, EM_SETSEL, 0, -1);
            }
            return;
        }
        // The rows were drawn again: the list shows the same part of them, the row selected.
        CloseEditor();
        const int count = ListView_GetItemCount(list);
        if (count > 0) ListView_EnsureVisible(list, count - 1, FALSE);
        ListView_EnsureVisible(list, top, FALSE);
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
        ListView_SetItemState(list, static_cast<int>(row), LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
        if (how == EditEnd::kFocusLost) return;  // the focus is where the user took it
        SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
        if (how == EditEnd::kNext || how == EditEnd::kPrevious) {
            if (const auto next = NextEditable(row, column, how == EditEnd::kNext ? 1 : -1)) {
                BeginEdit(row, *next);
            }
        }
    }

    // The editor goes without storing; refocus gives the list the focus it had.
    void CloseEditor(bool refocus = false) {
        if (m_editor == nullptr) return;
        HWND editor = m_editor;
        m_editor = nullptr;  // its loss of the focus ends nothing now
        const bool focused = GetFocus() == editor;
        DestroyWindow(editor);
        if (refocus || focused) {
            SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(kIdcHistoryList)),
                         TRUE);
        }
    }

    void PostEndEdit(EditEnd how) {
        PostMessageW(m_hwnd, kMsgEndEdit, static_cast<WPARAM>(how), m_editNumber);
    }

    // The editor takes every key the dialog would (Enter, Esc, Tab); its ends are posted, so that
    // it is never destroyed inside its own messages.
    static LRESULT CALLBACK EditorProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR data) {
        auto* self = reinterpret_cast<HistoryWindow*>(data);
        switch (message) {
            case WM_GETDLGCODE:
                return DLGC_WANTALLKEYS | DefSubclassProc(edit, message, wParam, lParam);
            case WM_KEYDOWN:
                if (self->m_editor != edit) break;
                if (wParam == VK_RETURN) {
                    self->PostEndEdit(EditEnd::kStore);
                    return 0;
                }
                if (wParam == VK_ESCAPE) {
                    self->PostEndEdit(EditEnd::kCancel);
                    return 0;
                }
                if (wParam == VK_TAB) {
                    self->PostEndEdit(GetKeyState(VK_SHIFT) < 0 ? EditEnd::kPrevious
                                                                : EditEnd::kNext);
                    return 0;
                }
                break;
            case WM_CHAR:
                // Their characters would only beep.
                if (wParam == L'\r' || wParam == L'\x1b' || wParam == L'\t') return 0;
                break;
            case WM_KILLFOCUS:
                if (self->m_editor == edit && !self->m_storing)
                    self->PostEndEdit(EditEnd::kFocusLost);
                break;
            case WM_NCDESTROY:
                RemoveWindowSubclass(edit, &HistoryWindow::EditorProc, kSubclassId);
                break;
            default: break;
        }
        return DefSubclassProc(edit, message, wParam, lParam);
    }

    // The list scrolled, or a column's width is being dragged: the editor would no longer be over
    // its cell, and the edit ends as on a loss of the focus.
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR data) {
        auto* self = reinterpret_cast<HistoryWindow*>(data);
        switch (message) {
            case WM_VSCROLL:
            case WM_HSCROLL:
            case WM_MOUSEWHEEL:
                if (self->m_editor != nullptr) self->PostEndEdit(EditEnd::kFocusLost);
                break;
            case WM_NOTIFY: {
                const UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
                if (self->m_editor != nullptr &&
                    (code == HDN_BEGINTRACKW || code == HDN_BEGINTRACKA)) {
                    self->PostEndEdit(EditEnd::kFocusLost);
                }
                break;
            }
            case WM_NCDESTROY:
                RemoveWindowSubclass(list, &HistoryWindow::ListProc, kSubclassId);
                break;
            default: break;
        }
        return DefSubclassProc(list, message, wParam, lParam);
    }

    int Message(const std::string& text, unsigned flags, const std::string& detail) override {
        return MessageBoxUtf8(text, flags, detail);
    }

    std::optional<SaveAsResult> AskSaveName(const SaveAsRequest& request) override {
        return ShowSaveAsDialog(m_hwnd, request);
    }

    HWND m_hwnd = nullptr;
    HistoryPresenter m_presenter;
    // The editor over the cell being edited, which it is, and each editor's number (its ends
    // posted for it name it).
    HWND m_editor = nullptr;
    std::size_t m_editRow = 0;
    int m_editColumn = 0;
    UINT m_editNumber = 0;
    bool m_storing = false;              // an edit is being stored
    std::optional<ChartModel> m_charts;  // of the records shown, which the chart windows paint
    std::wstring m_cellText;             // the text of the cell the list asked for last
};

}  // namespace

void ShowHistoryWindow(HINSTANCE instance, HWND owner, const Logbook& logbook,
                       const std::string& vehicle, const std::string& iniPath,
                       const std::string& directory) {
    RegisterChartClass(instance);
    HistoryWindow window(logbook, vehicle, iniPath, directory);
    window.Run(instance, owner);
    SetMessageBoxOwner(owner);  // message boxes are the main window's again
}

}  // namespace odomei::winui
