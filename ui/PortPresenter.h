// The port chooser's flow, once for every window: the machine's serial ports with their state,
// the port in use marked, a new survey on 再検索 and whenever the system says devices changed,
// the meter searched for (メーターを探す), and a choice handed to the main window's presenter,
// which opens the port and keeps the setting. A window implements PortView (it draws, asks and
// waits as its toolkit does) and hands its clicks to PortPresenter.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/TextsJa.h"
#include "link/FindMeter.h"
#include "link/SerialPort.h"

namespace odomei {

class MeterPresenter;
struct PortSurvey;  // link/PortSurvey.h

// The chooser's template and controls (the Win32 resource script and the Qt dialog alike).
constexpr int IDD_PORTS = 104;
constexpr int IDC_PORT_LIST = 1100;
constexpr int IDC_PORT_REFRESH = 1101;
constexpr int IDC_PORT_FIND = 1102;
constexpr int IDC_PORT_HARDWARE = 1103;  // the search tries hardware ports too
constexpr int IDC_PORT_STATUS = 1104;    // what the survey found machine-wide, the search's step

// Its captions, columns and messages are in data/TextsJa.h.
inline constexpr const char* kPortOkText = "OK";
inline constexpr const char* kPortCancelText = kCancelText;
constexpr int kPortColumnCount = 6;
constexpr int kPortColumnWidths[] = {60, 360, 200, 80, 110, 200};  // pixels at the dialog font

// One row of the list, as every window shows it.
struct PortRow {
    std::vector<std::string> texts;  // kPortColumnCount texts
    std::string reason;              // why it cannot be used and what to do (tool tip); "" free
    bool current = false;            // the port the setting in use leads to (shown marked)
    bool choosable = false;          // a choice of it can be made (free, or the one in use)
};

// What the chooser's commands may do now.
struct PortCommands {
    bool ok = false;  // a choosable row is selected
    bool refresh = true;
    bool find = true;
    bool operator==(const PortCommands&) const = default;
};

class PortView {
public:
    virtual ~PortView() = default;

    // The list's rows; selected is the row to select (-1: none).
    virtual void ShowPorts(const std::vector<PortRow>& rows, int selected) = 0;
    // A line under the list: what the survey found machine-wide, or the search's step; "" none.
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void EnableCommands(const PortCommands& state) = 0;
    // A modal message box (Texts.h's flags); returns the button pressed.
    virtual int Message(const std::string& text, unsigned flags,
                        const std::string& detail = {}) = 0;
    // While a search runs the dialog keeps painting but takes no input (as the main window
    // during a read); Pause is the search's wait, between its looks at the ports being asked
    // (no port is given: they are asked on threads of their own).
    virtual void BeginBusy() = 0;
    virtual void EndBusy() = 0;
    virtual int Pause(SerialHandle port, int ms, bool untilInput) = 0;
    // True once the program is ending (the session ends): a running search stops, as it does on
    // SIGINT, SIGTERM or SIGHUP (platform/Interrupt.h).
    virtual bool Ending() const { return false; }
    // Ends the dialog (a port was chosen, or it was cancelled).
    virtual void Close(bool chosen) = 0;
};

// The survey the chooser shows: link/PortSurvey.h's SurveyPorts on the real machine; tests give
// one over trees of their own. configuredNumber is the COM number the setting leads to.
using PortSurveyor = std::function<PortSurvey(const std::string& iniPath, int configuredNumber)>;

class PortPresenter {
public:
    // owner is the main window's presenter: its port, its setting, its log. The view and the
    // owner must outlive the presenter.
    PortPresenter(PortView& view, MeterPresenter& owner, PortSurveyor surveyor = {});
    ~PortPresenter();
    PortPresenter(const PortPresenter&) = delete;
    PortPresenter& operator=(const PortPresenter&) = delete;

    // Surveys the ports and shows them, the current one selected.
    void Start();
    // 再検索.
    void OnRefresh();
    // The system says serial devices came or went (hot-plug): surveyed again, the selection kept
    // where its port is still there.
    void OnDevicesChanged();
    // The selection moved to row (-1: none).
    void OnSelect(int row);
    // OK (or a double click) on row: the main window closes its port and opens this one, and the
    // setting is written; the dialog ends. A row that cannot be chosen is explained instead.
    void OnChoose(int row);
    void OnCancel();
    // Whether the search tries hardware ports as well as USB adapters (off at start).
    void SetSearchHardware(bool on) { m_searchHardware = on; }
    bool SearchHardware() const { return m_searchHardware; }
    // メーターを探す: the free USB ports (and hardware ports when asked), the one in use among
    // them, each tried with a read; a meter found on another port than the setting's is chosen only
    // after a question.
    void OnFindMeter();

    const std::vector<PortRow>& Rows() const { return m_rows; }
    int Selected() const { return m_selected; }
    bool IsSearching() const { return m_searching; }
    const PortCommands& Commands() const { return m_commands; }
    // The last search, for its details.
    const MeterSearch& LastSearch() const { return m_search; }

private:
    void Survey(bool keepSelection);
    void SetCommands(const PortCommands& state);
    bool Choose(std::size_t index);

    PortView& m_view;
    MeterPresenter& m_owner;
    PortSurveyor m_surveyor;
    std::unique_ptr<PortSurvey> m_survey;
    std::vector<PortRow> m_rows;
    int m_selected = -1;
    PortCommands m_commands;
    MeterSearch m_search;
    bool m_searchHardware = false;
    bool m_searching = false;
};

// The texts of one row: the COM name ("COM3", "-" without a number), the stable name or the
// device, the description (with the manufacturer), "0403:6001", the serial number, the state.
// Declared for the windows that draw rows themselves; the presenter gives them ready.
struct SurveyedPort;
PortRow MakePortRow(const SurveyedPort& port);

}  // namespace odomei
