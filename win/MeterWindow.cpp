#include "win/MeterWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <memory>

#include "data/CsvExport.h"
#include "data/Decoder.h"
#include "data/Logbook.h"
#include "data/RecordTable.h"
#include "link/FilePaths.h"
#include "link/MeterSession.h"
#include "link/ReadExchange.h"
#include "log/CommLog.h"
#include "platform/Clock.h"
#include "platform/PortNames.h"
#include "platform/win/Wide.h"
#include "ui/ColumnLayout.h"
#include "ui/Texts.h"
#include "win/WinIds.h"
#include "win/WinUi.h"

namespace odomei::win32 {

static_assert(IDOK == IDOK_EXIT);

namespace {

constexpr UINT ID_SYS_HISTORY = 0x0020;  // the history entry of the window menu
// Input is looked at every millisecond while a pause of the exchange waits for it.
constexpr DWORD kPauseSliceMs = 1;

class MeterWindow {
public:
    explicit MeterWindow(HINSTANCE instance)
        : m_instance(instance), m_session(m_log), m_lister(SystemPortLister()) {
        // The log's failures are message boxes; the caller carries on after each.
        m_log.SetReporter([](const CommLogProblem& problem) {
            MessageBoxUtf8(problem.text, kMbIconHand, problem.detail);
        });
    }
    ~MeterWindow() {
        if (m_brDialog) DeleteObject(m_brDialog);
        if (m_brStatic) DeleteObject(m_brStatic);
    }

    int Run() {
        m_hwnd = CreateDialogParamW(m_instance, MAKEINTRESOURCEW(IDD_MAIN_WINDOW), nullptr,
                                    &MeterWindow::Proc, reinterpret_cast<LPARAM>(this));
        if (m_hwnd == nullptr) return 1;
        SetMessageBoxOwner(m_hwnd);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (PreTranslateMessage(msg)) continue;
            if (IsDialogMessageW(m_hwnd, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return 0;
    }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        auto* self = reinterpret_cast<MeterWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (self == nullptr) return FALSE;
        switch (message) {
            case WM_INITDIALOG: self->m_hwnd = hwnd; return self->OnInitDialog();
            case WM_COMMAND: return self->OnCommand(LOWORD(wParam), HIWORD(wParam));
            case WM_SYSCOMMAND: return self->OnSysCommand(wParam);
            case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(self->m_brDialog);
            case WM_CTLCOLORSTATIC:
                SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
                return reinterpret_cast<INT_PTR>(self->m_brStatic);
            case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(self->m_icon);
            case WM_PAINT:
                if (!IsIconic(hwnd)) return FALSE;
                self->PaintIcon();
                return TRUE;
            case WM_DESTROY:
                self->m_session.Close();
                SetMessageBoxOwner(nullptr);
                PostQuitMessage(0);
                return TRUE;
            case WM_ENDSESSION:
                if (wParam) self->m_ending = true;
                return TRUE;
            default: return FALSE;
        }
    }

    HWND Item(int id) const { return GetDlgItem(m_hwnd, id); }

    // Enter and Escape are dropped for the window and all its controls: Enter never presses
    // the default button and Escape never closes the window. Other windows keep their keys.
    bool PreTranslateMessage(const MSG& msg) const {
        return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) &&
               (msg.hwnd == m_hwnd || IsChild(m_hwnd, msg.hwnd));
    }

    BOOL OnInitDialog() {
        m_list = Item(IDC_RECORD_LIST);
        m_icon = LoadIconW(m_instance, MAKEINTRESOURCEW(IDI_APP));
        if (HMENU menu = GetSystemMenu(m_hwnd, FALSE)) {
            AppendMenuW(menu, MF_STRING, ID_SYS_HISTORY, win::Wide(kHistoryMenuText).c_str());
            wchar_t about[128] = {};
            if (LoadStringW(m_instance, kIdsAboutMenu, about, 128) > 0) {
                AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
                AppendMenuW(menu, MF_STRING, ID_SYS_ABOUT, about);
            }
        }
        SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
        SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
        m_brDialog = CreateSolidBrush(RGB(kWindowRed, kWindowGreen, kWindowBlue));
        m_brStatic = CreateSolidBrush(RGB(kWindowRed, kWindowGreen, kWindowBlue));
        FitVersionText();
        SetText(Item(IDC_VERSION_TEXT), "");
        m_records.m_nRecordCount = 0;
        m_paths = DeriveFilePaths();
        if (!m_paths.Known()) {
            // Never the root folder instead: no INI write-back and no log until the next start.
            MessageBoxUtf8(kNoWorkingFolderText, kMbIconHand,
                           "The working directory cannot be determined: " + m_paths.problem);
        }
        m_log.SetPath(m_paths.LogPath());
        EnableCommands(false, false);
        SetUpRecordList();
        m_records.ClearRows();
        m_iniNote.clear();
        m_nPort = LoadPortSetting(m_paths, &m_iniNote);
        OpenPort();
        return TRUE;  // the focus goes to the first tab stop, the exit button
    }

    // The whole version text must show: the control widens to the right where the font needs it.
    void FitVersionText() {
        HWND version = Item(IDC_VERSION_TEXT);
        RECT r{};
        GetWindowRect(version, &r);
        MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&r), 2);
        RECT client{};
        GetClientRect(m_hwnd, &client);
        const int needed = TextWidth(version, kWidestVersionText) + 2;
        if (r.right - r.left < needed) {
            MoveWindow(version, r.left, r.top, std::min<int>(needed, client.right - r.left),
                       r.bottom - r.top, FALSE);
        }
    }

    void OpenPort() {
        OpenFailure why;
        if (!m_session.Open(PortName(m_nPort), PortMap(m_paths.IniPath(), m_lister.get()), &why)) {
            std::string detail = why.device.empty() ? why.reason : why.device + ": " + why.reason;
            if (!m_iniNote.empty()) detail += "\n" + m_iniNote;
            MessageBoxUtf8(PortFailureText("COM" + std::to_string(m_nPort)), kMbIconHand, detail);
            return;
        }
        EnableWindow(Item(IDC_READ), TRUE);
    }

    void PaintIcon() {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hwnd, &ps);
        SendMessageW(m_hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        const int cx = GetSystemMetrics(SM_CXICON);
        const int cy = GetSystemMetrics(SM_CYICON);
        RECT r{};
        GetClientRect(m_hwnd, &r);
        DrawIcon(dc, (r.right - r.left - cx + 1) / 2, (r.bottom - r.top - cy + 1) / 2, m_icon);
        EndPaint(m_hwnd, &ps);
    }

    BOOL OnCommand(int id, int code) {
        if (code != BN_CLICKED) return FALSE;
        switch (id) {
            case IDOK: OnOK(); return TRUE;
            case IDCANCEL:  // the close box, the window menu's close, Alt+F4: no question
                if (!m_busy) DestroyWindow(m_hwnd);
                return TRUE;
            case IDC_READ: OnRead(); return TRUE;
            case IDC_SAVE_CSV: OnSaveCsv(); return TRUE;
            case IDC_CLEAR: OnClear(); return TRUE;
            case IDC_HISTORY: OnHistory(); return TRUE;
            default: return FALSE;
        }
    }

    BOOL OnSysCommand(WPARAM command) {
        if ((command & 0xFFF0) == ID_SYS_ABOUT) {
            DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_ABOUT), m_hwnd, &AboutProc, 0);
            return TRUE;
        }
        if ((command & 0xFFF0) == ID_SYS_HISTORY) {
            OnHistory();
            return TRUE;
        }
        return FALSE;  // moving, closing and the rest as usual
    }

    static INT_PTR CALLBACK AboutProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
        if (message == WM_INITDIALOG) return TRUE;
        if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            EndDialog(hwnd, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }

    void OnOK() {
        if (MessageBoxUtf8(kAskExit, kMbYesNo | kMbIconInformation) == kIdYes)
            DestroyWindow(m_hwnd);
    }

    // The designed widths where they fit; where the font makes them overflow, the difference
    // comes from the columns whose texts need less.
    void SetUpRecordList() {
        ListView_DeleteAllItems(m_list);
        HWND header = ListView_GetHeader(m_list);
        std::vector<std::string> captions;
        std::vector<int> designed, needed;
        for (int c = 0; c < kColumnCount; ++c) {
            captions.emplace_back(kColumns[c].caption);
            designed.push_back(kColumns[c].width);
            int need = std::max(TextWidth(header != nullptr ? header : m_list, kColumns[c].caption),
                                TextWidth(m_list, kWidestTexts[c]));
            for (int r = 0; r < m_records.m_nRecordCount; ++r) {
                need =
                    std::max(need, TextWidth(m_list, RowTexts(r + 1)[static_cast<std::size_t>(c)]));
            }
            needed.push_back(need + kCellPadding);
        }
        RECT client{};
        GetClientRect(m_list, &client);
        SetColumns(m_list, captions,
                   FitColumns(designed, needed, client.right - client.left, DialogScale(m_list)));
    }

    // Sets the buttons' states. A control disabled with the focus loses it (to nobody): the
    // focus goes on to the next tab stop instead, as it would from the keyboard.
    void EnableCommands(bool read, bool saveAndClear) {
        HWND focus = GetFocus();
        EnableWindow(Item(IDC_READ), read);
        EnableWindow(Item(IDC_SAVE_CSV), saveAndClear);
        EnableWindow(Item(IDC_CLEAR), saveAndClear);
        if (focus != nullptr && IsChild(m_hwnd, focus) && !IsWindowEnabled(focus)) {
            HWND next = GetNextDlgTabItem(m_hwnd, focus, FALSE);
            if (next != nullptr)
                SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
        }
    }

    std::vector<std::string> RowTexts(int i) const {
        const RecordRow& row = m_records.m_rows[i - 1];
        return {RowNumberText(i),    row.m_strDate,   row.m_strDistance, row.m_strFuel,
                row.m_strCorrection, row.m_strRefuel, row.m_strError};
    }

    void ShowRecords(const std::string& version) {
        if (m_records.m_nRecordCount == 0) {
            MessageBoxUtf8(kNoValidDataText, kMbIconInformation);
            return;
        }
        ListView_DeleteAllItems(m_list);
        for (int i = 1; i <= m_records.m_nRecordCount; ++i) AddRow(m_list, RowTexts(i));
        SetText(Item(IDC_VERSION_TEXT), kVersionPrefix + version);
        EnableCommands(false, true);
    }

    void OnClear() {
        if (m_records.m_nRecordCount == 0) {
            MessageBoxUtf8(kNothingToClear, kMbOk);
            return;
        }
        if (MessageBoxUtf8(kAskClear, kMbYesNo | kMbIconInformation) != kIdYes) return;
        m_records.ClearRows();
        ListView_DeleteAllItems(m_list);
        EnableCommands(true, false);
        m_records.m_nRecordCount = 0;
    }

    // The exchange's pauses: the window repaints and message boxes work while it waits. A pause
    // that may end at input ends when the meter's first byte is in.
    int PauseWithMessages(int ms, bool untilInput) {
        const std::int64_t start = MonotonicMicros();
        const std::int64_t end = start + std::int64_t{ms} * 1000;
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    m_ending = true;
                    PostQuitMessage(static_cast<int>(msg.wParam));
                    break;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            const std::int64_t now = MonotonicMicros();
            if (m_ending || now >= end) break;
            SerialHandle port = m_session.Port();
            if (untilInput && port != nullptr && port->WaitForInput(0)) break;
            const DWORD left = static_cast<DWORD>((end - now + 999) / 1000);
            MsgWaitForMultipleObjects(0, nullptr, FALSE, untilInput ? kPauseSliceMs : left,
                                      QS_ALLINPUT);
        }
        return static_cast<int>((MonotonicMicros() - start + 500) / 1000);
    }

    void OnRead() {
        m_session.PrepareRead();
        if (MessageBoxUtf8(kAskRead, kMbYesNo | kMbIconInformation) != kIdYes) return;
        if (m_records.m_nRecordCount != 0) {
            m_records.ClearRows();
            m_records.m_nRecordCount = 0;
            ListView_DeleteAllItems(m_list);
        }
        // While the exchange runs the window keeps painting but takes no input: no second
        // read, no clear, no exit in the middle.
        m_busy = true;
        HWND focused = GetFocus();
        EnableWindow(m_hwnd, FALSE);
        HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        const MeterRead result = m_session.Read(
            [this](int ms, bool untilInput) { return PauseWithMessages(ms, untilInput); },
            [this](const ExchangeProgress&) { return !m_ending; });
        SetCursor(previous);
        EnableWindow(m_hwnd, TRUE);
        if (focused != nullptr && IsChild(m_hwnd, focused)) {
            SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focused), TRUE);
        }
        m_busy = false;
        if (result.outcome == ExchangeOutcome::kCancelled) return;  // the program is ending
        if (result.outcome != ExchangeOutcome::kBlockReceived) {
            MessageBoxUtf8(ExchangeFailureText(result.outcome), kMbIconHand);
            return;
        }
        FillTable(result.reading, m_records);
        ShowRecords(result.reading.version);
        if (!result.reading.records.empty()) {
            LogbookError error;
            if (!MergeRead(LogbookPath(m_paths), result.reading, GetLocalTime(), &error)) {
                MessageBoxUtf8(kLogbookWriteFailedText, kMbIconHand, error.what);
            }
        }
    }

    void OnHistory() {
        ShowHistoryWindow(m_instance, m_hwnd, LogbookPath(m_paths), m_paths.IniPath());
    }

    void OnSaveCsv() {
        if (m_records.m_nRecordCount == 0) {
            MessageBoxUtf8(kNothingToSave, kMbOk);
            return;
        }
        std::wstring file = win::Wide(kCsvInitialName);
        file.resize(32768);
        std::wstring filter =
            win::Wide(kCsvTypeDescription) + L'\0' + win::Wide(kCsvTypePattern) + L'\0' + L'\0';
        const std::wstring folder = win::Wide(m_paths.strCurDir);
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = m_hwnd;
        ofn.lpstrFilter = filter.c_str();
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = static_cast<DWORD>(file.size());
        ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
        // An existing file is replaced only after a question; the working folder stays.
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        if (!GetSaveFileNameW(&ofn)) return;
        const std::string path = win::Narrow(file.c_str());
        const std::string fileName = win::Narrow(file.c_str() + ofn.nFileOffset);
        std::string reason;
        const CsvResult result = SaveCsv(path, m_records, &reason);
        if (result == CsvResult::kSaved) {
            MessageBoxUtf8(SavedText(fileName), kMbIconInformation);
        } else {
            MessageBoxUtf8(CsvFailureText(result), kMbIconHand, path + "\n" + reason);
        }
    }

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    HWND m_list = nullptr;
    HICON m_icon = nullptr;
    HBRUSH m_brDialog = nullptr;
    HBRUSH m_brStatic = nullptr;
    int m_nPort = 0;
    FilePaths m_paths;
    std::string m_iniNote;
    RecordTable m_records;
    CommLog m_log;
    MeterSession m_session;
    std::unique_ptr<PortLister> m_lister;
    bool m_busy = false;
    bool m_ending = false;
};

}  // namespace

int RunMeterWindow(HINSTANCE instance) {
    MeterWindow window(instance);
    return window.Run();
}

}  // namespace odomei::win32
