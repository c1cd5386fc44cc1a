// The logbook's history on Windows: one vehicle's records (chosen above them), newest first, or
// those of a range of dates, and the summary of what they say about the car and the meter, in the
// unit last chosen in either window, with the two charts of the records shown; those records saved
// as CSV, the charts as SVG.
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

// The columns' widths at 96 DPI, the number's taking what the others leave. The list is half as
// wide again as the main window's record list and has two more columns (the economies): its
// columns are a little wider than that list's, so the number's does not take the whole rest.
constexpr int kHistoryColumnWidths[] = {0, 120, 105, 105, 95, 105, 105, 105, 105};
static_assert(std::size(kHistoryColumnWidths) == kHistoryColumnCount);

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
            case WM_NOTIFY: {
                const auto* header = reinterpret_cast<const NMHDR*>(lParam);
                if (header->code != DTN_DATETIMECHANGE) return FALSE;
                if (header->idFrom == kIdcHistoryFrom || header->idFrom == kIdcHistoryTo) {
                    self->Reload();
                }
                return TRUE;
            }
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
            case kIdcHistorySaveChart:
                if (code != BN_CLICKED) return FALSE;
                SaveHistoryCharts(m_presenter, *this);
                return TRUE;
            case IDOK:
            case IDCANCEL: EndDialog(m_hwnd, IDCANCEL); return TRUE;
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
        HWND list = Item(kIdcHistoryList);
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        ListView_DeleteAllItems(list);
        SetColumns(list, m_presenter.Captions());
        // The main list's widest texts where its columns are the same; what the rows show where
        // they are not (the numbers, the economies), or may show (the gap's marker).
        const std::size_t rows = m_presenter.RowCount();
        const TextMeasure cells(list);
        std::vector<int> widest;
        for (std::size_t c = 0; c < kHistoryColumnCount; ++c) {
            widest.push_back(c < std::size(kWidestTexts) ? cells.Width(kWidestTexts[c]) : 0);
        }
        widest[0] = cells.Width(std::to_string(rows));  // no number is larger than the rows
        widest[1] = std::max(widest[1], cells.Width(kGapMarkerText));
        for (std::size_t i = 0; i < rows; ++i) {
            const std::vector<std::string> texts = m_presenter.RowTexts(i);
            AddRow(list, texts);
            for (std::size_t c = std::size(kWidestTexts); c < texts.size(); ++c) {
                widest[c] = std::max(widest[c], cells.Width(texts[c]));
            }
        }
        FitListColumns(list, {std::begin(kHistoryColumnWidths), std::end(kHistoryColumnWidths)},
                       widest);
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        SetText(Item(kIdcHistorySummary), m_presenter.SummaryText());
        m_charts = ChartModel::FromNewestFirst(m_presenter.Shown(), m_presenter.PerHundredKm());
        SetChart(Item(kIdcHistoryEconomyChart), &*m_charts, ChartKind::kEconomy);
        SetChart(Item(kIdcHistoryErrorChart), &*m_charts, ChartKind::kError);
    }

    int Message(const std::string& text, unsigned flags, const std::string& detail) override {
        return MessageBoxUtf8(text, flags, detail);
    }

    std::optional<SaveAsResult> AskSaveName(const SaveAsRequest& request) override {
        return ShowSaveAsDialog(m_hwnd, request);
    }

    HWND m_hwnd = nullptr;
    HistoryPresenter m_presenter;
    std::optional<ChartModel> m_charts;  // of the records shown, which the chart windows paint
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
