#include "win/MeterWindow.h"

#include <commctrl.h>

#include <memory>

#include "platform/win/Wide.h"
#include "ui/MeterPresenter.h"
#include "ui/Texts.h"
#include "win/WinIds.h"
#include "win/WinUi.h"

namespace odomei::winui {

static_assert(IDOK == IDOK_EXIT);

namespace {

// The window menu's own entries (About and the vehicles' are both windows'): multiples of 16.
constexpr UINT ID_SYS_HISTORY = 0x0040;  // the history entry of the window menu
constexpr UINT ID_SYS_PORTS = 0x0030;    // the port chooser's entry
static_assert(ID_SYS_HISTORY != ID_SYS_VEHICLES && ID_SYS_PORTS != ID_SYS_VEHICLES &&
              ID_SYS_HISTORY != ID_SYS_ABOUT && ID_SYS_PORTS != ID_SYS_ABOUT);

// Draws what the presenter decides and forwards the commands to it.
class MeterWindow final : private MeterView {
public:
    explicit MeterWindow(HINSTANCE instance) : m_instance(instance) {}
    ~MeterWindow() override {
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
                self->m_presenter.OnDestroy();
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
            AppendMenuW(menu, MF_STRING, ID_SYS_HISTORY, winapi::Wide(kHistoryMenuText).c_str());
            AppendMenuW(menu, MF_STRING, ID_SYS_PORTS, winapi::Wide(kPortSettingsMenuText).c_str());
            AppendMenuW(menu, MF_STRING, ID_SYS_VEHICLES, winapi::Wide(kVehicleMenuText).c_str());
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
        SetUpRecordList();
        m_presenter.Start();
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
            case IDOK: m_presenter.OnExit(); return TRUE;
            case IDCANCEL:  // the close box, the window menu's close, Alt+F4: no question
                if (m_presenter.MayClose()) DestroyWindow(m_hwnd);
                return TRUE;
            case IDC_READ: m_presenter.OnRead(); return TRUE;
            case IDC_SAVE_CSV: m_presenter.OnSaveCsv(); return TRUE;
            case IDC_CLEAR: m_presenter.OnClear(); return TRUE;
            case IDC_HISTORY: m_presenter.OnHistory(); return TRUE;
            case IDC_PORT_SETTINGS: m_presenter.OnPortSettings(); return TRUE;
            case IDC_VEHICLES: m_presenter.OnVehicles(); return TRUE;
            default: return FALSE;
        }
    }

    BOOL OnSysCommand(WPARAM command) {
        if ((command & 0xFFF0) == ID_SYS_ABOUT) {
            m_presenter.OnAbout();
            return TRUE;
        }
        if ((command & 0xFFF0) == ID_SYS_HISTORY) {
            m_presenter.OnHistory();
            return TRUE;
        }
        if ((command & 0xFFF0) == ID_SYS_PORTS) {
            if (m_presenter.Commands().ports) m_presenter.OnPortSettings();
            return TRUE;
        }
        if ((command & 0xFFF0) == ID_SYS_VEHICLES) {
            if (m_presenter.Commands().ports) m_presenter.OnVehicles();
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

    // Laid out for the widest texts a read can bring, before the first one.
    void SetUpRecordList() {
        ListView_DeleteAllItems(m_list);
        std::vector<std::string> captions;
        for (const Column& column : kColumns) captions.emplace_back(column.caption);
        SetColumns(m_list, captions);
        FitRecordColumns();
    }

    void FitRecordColumns() {
        std::vector<int> designed, widest;
        const TextMeasure cells(m_list);
        for (int c = 0; c < kColumnCount; ++c) {
            designed.push_back(kColumns[c].width);
            widest.push_back(cells.Width(kWidestTexts[c]));
        }
        FitListColumns(m_list, designed, widest);
    }

    // Sets the buttons' states. A control disabled with the focus loses it (to nobody): the
    // focus goes on to the next tab stop instead, as it would from the keyboard.
    void EnableCommands(const CommandState& state) override {
        HWND focus = GetFocus();
        EnableWindow(Item(IDC_READ), state.read);
        EnableWindow(Item(IDC_SAVE_CSV), state.save);
        EnableWindow(Item(IDC_CLEAR), state.clear);
        // The port chooser and the vehicles: not while a read runs.
        EnableWindow(Item(IDC_PORT_SETTINGS), state.ports);
        EnableWindow(Item(IDC_VEHICLES), state.ports);
        if (HMENU menu = GetSystemMenu(m_hwnd, FALSE)) {
            for (UINT id : {ID_SYS_PORTS, static_cast<UINT>(ID_SYS_VEHICLES)}) {
                EnableMenuItem(menu, id, MF_BYCOMMAND | (state.ports ? MF_ENABLED : MF_GRAYED));
            }
        }
        if (focus != nullptr && IsChild(m_hwnd, focus) && !IsWindowEnabled(focus)) {
            HWND next = GetNextDlgTabItem(m_hwnd, focus, FALSE);
            if (next != nullptr)
                SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
        }
    }

    void ShowRows(const std::vector<std::vector<std::string>>& rows) override {
        ListView_DeleteAllItems(m_list);
        for (const auto& texts : rows) AddRow(m_list, texts);
        FitRecordColumns();  // room for a vertical scroll bar where the rows need one
    }

    void ShowVersion(const std::string& text) override { SetText(Item(IDC_VERSION_TEXT), text); }

    void ShowVehicle(const std::string& text) override { SetText(Item(IDC_VEHICLE_TEXT), text); }

    void FocusExit() override { SetFocus(Item(IDOK)); }

    int Message(const std::string& text, unsigned flags, const std::string& detail) override {
        return MessageBoxUtf8(text, flags, detail);
    }

    void EndWindow() override { DestroyWindow(m_hwnd); }

    void ShowAbout() override {
        DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_ABOUT), m_hwnd, &AboutProc, 0);
    }

    void ShowHistory(const Logbook& logbook, const std::string& vehicle, const std::string& iniPath,
                     const std::string& directory) override {
        ShowHistoryWindow(m_instance, m_hwnd, logbook, vehicle, iniPath, directory);
    }

    std::optional<std::string> ShowVehicles(const VehicleRequest& request) override {
        return ShowVehicleWindow(m_instance, m_hwnd, request);
    }

    void ShowPortChooser(MeterPresenter& owner) override {
        winui::ShowPortChooser(m_instance, m_hwnd, owner, m_ending);
    }

    bool Ending() const override { return m_ending; }

    // The exchange's pauses: the window repaints and message boxes work while it waits. A pause
    // that may end at input ends when the meter's first byte is in.
    int Pause(SerialHandle port, int ms, bool untilInput) override {
        return PumpingPause(port, ms, untilInput, m_ending);
    }

    // While the exchange runs the window keeps painting but takes no input: no second read, no
    // clear, no exit in the middle.
    void BeginBusy() override { m_busy.Begin(m_hwnd); }
    void EndBusy() override { m_busy.End(m_hwnd); }

    std::optional<SaveAsResult> AskSaveName(const SaveAsRequest& request) override {
        return ShowSaveAsDialog(m_hwnd, request);
    }

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    HWND m_list = nullptr;
    HICON m_icon = nullptr;
    HBRUSH m_brDialog = nullptr;
    HBRUSH m_brStatic = nullptr;
    WindowBusy m_busy;
    bool m_ending = false;
    MeterPresenter m_presenter{*this};  // last: it talks to the window from its first call
};

}  // namespace

int RunMeterWindow(HINSTANCE instance) {
    MeterWindow window(instance);
    return window.Run();
}

}  // namespace odomei::winui
