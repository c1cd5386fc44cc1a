// The main window: the record list, the read/save/clear/exit buttons and the firmware version.
#pragma once

#include <QDialog>
#include <QIcon>

#include <memory>
#include <string>

#include "ui/MeterPresenter.h"
#include "ui/Texts.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTableWidget;

namespace odomei {
class BusyGuard;
}

namespace odomei {

// Draws what the presenter decides and forwards the clicks and keys to it.
class CMeterDlg : public QDialog, private MeterView {
    Q_OBJECT

public:
    explicit CMeterDlg(QWidget* parent = nullptr);
    ~CMeterDlg() override;

    // Initialises the window (paths, list, port setting, port) and runs it until it ends.
    int DoModal();
    // Everything DoModal does before the window is shown. Always true.
    bool OnInitDialog();

    // The commands, as the buttons and the window menu give them.
    void OnOK() { m_presenter.OnExit(); }
    void OnRead() { m_presenter.OnRead(); }
    void OnSaveCsv() { m_presenter.OnSaveCsv(); }
    void OnClear() { m_presenter.OnClear(); }
    void OnHistory() { m_presenter.OnHistory(); }
    void OnPortSettings() { m_presenter.OnPortSettings(); }
    void OnVehicles() { m_presenter.OnVehicles(); }
    void OnSysCommand(int id);
    void ShowRecords(const std::string& version) { m_presenter.ShowRecords(version); }

    // Access for the program's parts and for tests.
    QWidget* GetDlgItem(int id) const;
    RecordTable& Records() { return m_presenter.Records(); }
    const FilePaths& Paths() const { return m_presenter.Paths(); }
    int Port() const { return m_presenter.Port(); }
    const MeterSession& Session() const { return m_presenter.Session(); }
    const std::string& Vehicle() const { return m_presenter.Vehicle(); }
    // The window's menu: close, history, ports, vehicles, a separator and the About entry.
    QMenu* SystemMenu() const { return m_sysMenu; }
    bool IsReading() const { return m_presenter.IsReading(); }

public slots:
    // Closing from the title bar ends the window without a question (not while reading).
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildControls();
    void SetUpRecordList();
    void LayOutColumns();
    bool PreTranslateMessage(QObject* receiver, QEvent* event) const;

    // The view.
    void ShowRows(const std::vector<std::vector<std::string>>& rows) override;
    void ShowVersion(const std::string& text) override;
    void ShowVehicle(const std::string& text) override;
    void EnableCommands(const CommandState& state) override;
    void FocusExit() override;
    int Message(const std::string& text, unsigned flags, const std::string& detail) override;
    std::optional<SaveAsResult> AskSaveName(const SaveAsRequest& request) override;
    void BeginBusy() override;
    void EndBusy() override;
    int Pause(SerialHandle port, int ms, bool untilInput) override;
    void EndWindow() override { accept(); }
    void ShowAbout() override;
    void ShowHistory(const Logbook& logbook, const std::string& vehicle, const std::string& iniPath,
                     const std::string& directory) override;
    std::optional<std::string> ShowVehicles(const VehicleRequest& request) override;
    void Diagnose(const std::string& line) override;
    void ShowPortChooser(MeterPresenter& owner) override;

    QIcon m_hIcon;
    QPushButton* m_btnExit = nullptr;
    QTableWidget* m_list = nullptr;
    QPushButton* m_btnRead = nullptr;
    QPushButton* m_btnSave = nullptr;
    QPushButton* m_btnClear = nullptr;
    QPushButton* m_btnHistory = nullptr;
    QPushButton* m_btnPorts = nullptr;
    QPushButton* m_btnVehicles = nullptr;
    QAction* m_portsAction = nullptr;
    QAction* m_vehiclesAction = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_vehicle = nullptr;
    QMenu* m_sysMenu = nullptr;
    std::unique_ptr<BusyGuard> m_busy;
    MeterPresenter m_presenter{*this};  // last: it talks to the window from its first call
};

// The application icon (32 x 32, 16 colours).
QIcon AppIcon();

}  // namespace odomei
