// The main window's flow, once for every window: what start-up, read, save, clear, exit and the
// window menu do, in which order, with which texts. A window implements MeterView (it draws,
// asks and waits as its toolkit does) and hands its clicks to MeterPresenter.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/RecordTable.h"
#include "link/FilePaths.h"
#include "link/FindMeter.h"
#include "link/MeterSession.h"
#include "log/CommLog.h"
#include "platform/PortMap.h"
#include "ui/Notice.h"
#include "ui/VehiclePresenter.h"

namespace odomei {

class Logbook;
class MeterPresenter;

// The commands whose state the presenter sets; exit, the list and history stay enabled.
struct CommandState {
    bool read = false;
    bool save = false;
    bool clear = false;
    bool ports = true;  // the port chooser: not while a read runs
    bool operator==(const CommandState&) const = default;
};

class MeterView {
public:
    virtual ~MeterView() = default;

    // The list's rows, seven texts each (number, date and the five figures); none: empty.
    virtual void ShowRows(const std::vector<std::vector<std::string>>& rows) = 0;
    virtual void ShowVersion(const std::string& text) = 0;
    // The selected vehicle beside the version text (VehicleShownText).
    virtual void ShowVehicle(const std::string& text) = 0;
    virtual void EnableCommands(const CommandState& state) = 0;
    virtual void FocusExit() = 0;
    // A modal message box (Texts.h's flags); returns the button pressed.
    virtual int Message(const std::string& text, unsigned flags,
                        const std::string& detail = {}) = 0;
    // The save-as dialog; nothing when cancelled.
    virtual std::optional<SaveAsResult> AskSaveName(const SaveAsRequest& request) = 0;

    // While a read runs the window keeps painting but takes no input.
    virtual void BeginBusy() = 0;
    virtual void EndBusy() = 0;
    // One of the exchange's pauses: the window stays alive for ms milliseconds (or until the
    // port has input, when untilInput); returns the milliseconds spent.
    virtual int Pause(SerialHandle port, int ms, bool untilInput) = 0;
    // True once the program is ending (the session, the system): a running read stops.
    virtual bool Ending() const { return false; }

    // Ends the window (after the exit question).
    virtual void EndWindow() = 0;
    virtual void ShowAbout() = 0;
    // The history window over an open logbook, modal; iniPath keeps its settings and directory
    // is where its export dialog starts.
    // vehicle is the one it shows first.
    virtual void ShowHistory(const Logbook& logbook, const std::string& vehicle,
                             const std::string& iniPath, const std::string& directory) = 0;
    // The vehicle dialog (ui/VehiclePresenter.h), modal: the vehicle chosen, nothing when it was
    // closed without a choice.
    virtual std::optional<std::string> ShowVehicles(const VehicleRequest& /*request*/) {
        return std::nullopt;
    }
    // A line for whoever started the program (standard error where there is one).
    virtual void Diagnose(const std::string& /*line*/) {}
    // The port chooser (ui/PortPresenter.h) over owner, modal.
    virtual void ShowPortChooser(MeterPresenter& /*owner*/) {}
};

class MeterPresenter {
public:
    // The view must outlive the presenter.
    explicit MeterPresenter(MeterView& view);
    ~MeterPresenter();
    MeterPresenter(const MeterPresenter&) = delete;
    MeterPresenter& operator=(const MeterPresenter&) = delete;

    // Everything before the window is shown: the files' places, the empty list, the port
    // setting and the port.
    void Start();
    void OnRead();
    void OnSaveCsv();
    void OnClear();
    // The exit button: asks, and ends the window on yes.
    void OnExit();
    // The close box, the window menu's close, Alt+F4: true when the window may go now.
    bool MayClose() const { return !m_reading; }
    void OnAbout();
    void OnHistory();
    // ポート設定: the port chooser (never during a read).
    void OnPortSettings();
    // 車両 (button and window menu): the vehicle dialog; the vehicle chosen becomes the selected
    // one (shown, and kept in KORVANA.ini). Never during a read.
    void OnVehicles();
    // The vehicle reads are kept with: the setting's where the logbook has it, else its first.
    const std::string& Vehicle() const { return m_vehicle; }
    // A port chosen: the port in use is closed and the chosen one opened with the same steps and
    // messages as at start; once it is open the setting is written to KORVANA.ini (its number,
    // and a [Ports] entry with the stable name or the device, so the same adapter is found in any
    // socket). True when it opened (読み出し is then enabled). When it cannot be opened nothing
    // is written and the port in use before is open again (one let go for the chooser stays let
    // go until ResumePort).
    bool ChoosePort(const MeterCandidate& port);
    // Closes the port so that a search may try it too; ResumePort opens it again when it was open
    // (not once the program is ending).
    void ReleasePort();
    void ResumePort();
    const CommLog& Log() const { return m_log; }
    // Closes the port when the window goes.
    void OnDestroy();

    // Shows the records held (or, with none, says the block held no valid data).
    void ShowRecords(const std::string& version);

    RecordTable& Records() { return m_records; }
    const RecordTable& Records() const { return m_records; }
    const FilePaths& Paths() const { return m_paths; }
    int Port() const { return m_nPort; }
    const MeterSession& Session() const { return m_session; }
    const CommandState& Commands() const { return m_commands; }
    bool IsReading() const { return m_reading; }

    // The list's seven texts of record i (1 to 15).
    std::vector<std::string> RowTexts(int i) const;

private:
    void OpenPort();
    // Opens name (COMn or a device) as start does; shown names it in the failure message.
    bool OpenPortAs(const std::string& name, const std::string& shown);
    void SetCommands(const CommandState& state);
    void KeepListCommands();
    void ClearList();
    void Tell(const Notice& notice);
    // The read's records kept in the logbook: with the vehicle they overlap, else the selected
    // one; the user is asked where they cannot be the selected vehicle's (VehiclePresenter's
    // question, or a yes/no/cancel box when they overlap another vehicle's and add records).
    void KeepRead(const MeterReading& reading);
    // The selected vehicle, shown and kept in KORVANA.ini.
    void SelectVehicle(const std::string& name);
    // The selected vehicle's id in the logbook (to follow a rename); nothing without it.
    std::optional<std::int64_t> SelectedVehicleId() const;
    // After the vehicle dialog: the selection as the logbook has it now (the vehicle of id before
    // under its new name, else the one selected, else the first).
    void FollowVehicle(std::optional<std::int64_t> before);

    MeterView& m_view;
    int m_nPort = 0;
    FilePaths m_paths;
    RecordTable m_records;
    CommLog m_log;
    MeterSession m_session;
    std::unique_ptr<PortLister> m_lister;
    CommandState m_commands;
    bool m_reading = false;
    std::string m_openedName;  // what was opened last ("COMn" or a device)
    bool m_released = false;   // the port was closed for a search and is to be opened again
    std::string m_vehicle;     // the selected vehicle
};

}  // namespace odomei
