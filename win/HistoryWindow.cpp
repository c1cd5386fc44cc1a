// The logbook's history on Windows: every record kept, newest first, and the summary of what
// they say about the car and the meter, in the unit last chosen in either window.
#include <windows.h>
// The list view.
#include <commctrl.h>

#include <algorithm>

#include "platform/win/Wide.h"
#include "ui/HistoryPresenter.h"
#include "ui/HistoryText.h"
#include "ui/Texts.h"
#include "win/MeterWindow.h"
#include "win/WinIds.h"
#include "win/WinUi.h"

namespace odomei::win32 {
namespace {

constexpr int kHistoryColumnWidth = 88;  // pixels, before the font's own needs

// Draws what the history presenter holds and forwards the unit's choice to it.
class HistoryWindow final : private HistoryView {
public:
    HistoryWindow(const Logbook& logbook, const std::string& iniPath, const std::string& directory)
        : m_presenter(*this, logbook, iniPath, directory) {}

    void Run(HINSTANCE instance, HWND owner) {
        DialogBoxParamW(instance, MAKEINTRESOURCEW(kIddHistory), owner, &HistoryWindow::Proc,
                        reinterpret_cast<LPARAM>(this));
    }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            auto* self = reinterpret_cast<HistoryWindow*>(lParam);
            self->m_hwnd = hwnd;
            HWND units = GetDlgItem(hwnd, kIdcHistoryUnits);
            for (const char* u : {kKmPerLitreUnit, kLitresPer100KmUnit}) {
                SendMessageW(units, CB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(win::Wide(u).c_str()));
            }
            self->m_presenter.Start();
            SendMessageW(units, CB_SETCURSEL, self->m_presenter.PerHundredKm() ? 1 : 0, 0);
            return TRUE;
        }
        auto* self = reinterpret_cast<HistoryWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (message != WM_COMMAND || self == nullptr) return FALSE;
        if (LOWORD(wParam) == kIdcHistoryUnits && HIWORD(wParam) == CBN_SELCHANGE) {
            self->m_presenter.SetPerHundredKm(
                SendDlgItemMessageW(hwnd, kIdcHistoryUnits, CB_GETCURSEL, 0, 0) == 1);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
            EndDialog(hwnd, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }

    void Refresh() override {
        HWND list = GetDlgItem(m_hwnd, kIdcHistoryList);
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        ListView_DeleteAllItems(list);
        const auto captions = m_presenter.Captions();
        std::vector<int> widths;
        for (const std::string& c : captions) {
            widths.push_back(std::max(kHistoryColumnWidth, TextWidth(list, c) + kCellPadding));
        }
        SetColumns(list, captions, widths);
        for (std::size_t i = 0; i < m_presenter.RowCount(); ++i) {
            AddRow(list, m_presenter.RowTexts(i));
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        SetText(GetDlgItem(m_hwnd, kIdcHistorySummary), m_presenter.SummaryText());
    }

    int Message(const std::string& text, unsigned flags, const std::string& detail) override {
        return MessageBoxUtf8(text, flags, detail);
    }

    // The window has no export of its own yet.
    std::optional<SaveAsResult> AskSaveName(const SaveAsRequest&) override { return std::nullopt; }

    HWND m_hwnd = nullptr;
    HistoryPresenter m_presenter;
};

}  // namespace

void ShowHistoryWindow(HINSTANCE instance, HWND owner, const Logbook& logbook,
                       const std::string& iniPath, const std::string& directory) {
    HistoryWindow window(logbook, iniPath, directory);
    window.Run(instance, owner);
}

}  // namespace odomei::win32
