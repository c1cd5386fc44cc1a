// The logbook's history on Windows: every record kept, newest first, and the summary of what
// they say about the car and the meter. The units are those of the Linux window's setting.
#include <windows.h>
// The list view.
#include <commctrl.h>

#include <algorithm>

#include "data/Logbook.h"
#include "data/LogbookStats.h"
#include "link/FilePaths.h"
#include "platform/Profile.h"
#include "platform/win/Wide.h"
#include "ui/HistoryText.h"
#include "ui/Texts.h"
#include "win/MeterWindow.h"
#include "win/WinIds.h"
#include "win/WinUi.h"

namespace odomei::win32 {
namespace {

constexpr int kHistoryColumnWidth = 88;  // pixels, before the font's own needs

struct HistoryState {
    const Logbook* book = nullptr;
    std::string iniPath;
    std::vector<LogbookRecord> records;
    std::string failure;  // why the logbook could not be read
};

bool PerHundredKm(HWND hwnd) {
    return SendDlgItemMessageW(hwnd, kIdcHistoryUnits, CB_GETCURSEL, 0, 0) == 1;
}

void Fill(HWND hwnd, const HistoryState& state) {
    const bool per100km = PerHundredKm(hwnd);
    HWND list = GetDlgItem(hwnd, kIdcHistoryList);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    const auto captions = HistoryCaptions(per100km);
    std::vector<int> widths;
    for (const std::string& c : captions) {
        widths.push_back(std::max(kHistoryColumnWidth, TextWidth(list, c) + kCellPadding));
    }
    SetColumns(list, captions, widths);
    const int count = static_cast<int>(state.records.size());
    for (int i = count - 1; i >= 0; --i) {
        AddRow(list, HistoryRowTexts(state.records[static_cast<std::size_t>(i)], i + 1, per100km));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    SetText(GetDlgItem(hwnd, kIdcHistorySummary),
            HistoryStatusText(Summarize(state.records), per100km, state.records.empty(),
                              state.failure));
}

INT_PTR CALLBACK HistoryProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        auto* state = reinterpret_cast<HistoryState*>(lParam);
        HWND units = GetDlgItem(hwnd, kIdcHistoryUnits);
        for (const char* u : {kKmPerLitreUnit, kLitresPer100KmUnit}) {
            SendMessageW(units, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win::Wide(u).c_str()));
        }
        const bool per100km =
            ReadIniString(kLogbookSection, kLogbookUnitsKey, state->iniPath).value_or("") ==
            kLitresPer100KmUnit;
        SendMessageW(units, CB_SETCURSEL, per100km ? 1 : 0, 0);
        Fill(hwnd, *state);
        return TRUE;
    }
    auto* state = reinterpret_cast<HistoryState*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message != WM_COMMAND || state == nullptr) return FALSE;
    if (LOWORD(wParam) == kIdcHistoryUnits && HIWORD(wParam) == CBN_SELCHANGE) {
        const bool per100km = PerHundredKm(hwnd);
        if (!state->iniPath.empty()) {
            WriteIniString(kLogbookSection, kLogbookUnitsKey,
                           per100km ? kLitresPer100KmUnit : kKmPerLitreUnit, state->iniPath);
        }
        Fill(hwnd, *state);
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
        EndDialog(hwnd, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void ShowHistoryWindow(HINSTANCE instance, HWND owner, const std::string& logbookPath,
                       const std::string& iniPath) {
    LogbookError error;
    const auto book = Logbook::Open(logbookPath, &error);
    if (!book) {
        MessageBoxUtf8(kLogbookOpenFailedText, kMbIconHand, error.what);
        return;
    }
    HistoryState state{book.get(), iniPath, book->Records({}, {}, &error), {}};
    state.failure = error.what;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(kIddHistory), owner, &HistoryProc,
                    reinterpret_cast<LPARAM>(&state));
}

}  // namespace odomei::win32
