// The main window: the record list, the read/save/clear/exit buttons and the firmware version.
#pragma once

#include <QDialog>
#include <QIcon>

#include <memory>
#include <string>

#include "data/Decoder.h"
#include "data/RecordTable.h"
#include "link/FilePaths.h"
#include "link/MeterSession.h"
#include "log/CommLog.h"
#include "platform/PortNames.h"
#include "ui/Texts.h"

class QLabel;
class QMenu;
class QPushButton;
class QTableWidget;

namespace odomei {

class CMeterDlg : public QDialog {
    Q_OBJECT

public:
    explicit CMeterDlg(QWidget* parent = nullptr);
    ~CMeterDlg() override;

    // Initialises the window (paths, list, port setting, port) and runs it until it ends.
    int DoModal();
    // Everything DoModal does before the window is shown. Always true.
    bool OnInitDialog();

    // Command handlers.
    void OnOK();
    void OnRead();
    void OnSaveCsv();
    void OnClear();
    void OnHistory();
    void OnSysCommand(int id);
    // Closes the port when the window goes.
    void OnDestroy();

    // The record table and its list.
    void SetUpRecordList();
    void ClearRecords();
    void ShowRecords(const std::string& version);

    // Access for the program's parts and for tests.
    QWidget* GetDlgItem(int id) const;
    RecordTable& Records() { return m_records; }
    const FilePaths& Paths() const { return m_paths; }
    int Port() const { return m_nPort; }
    const MeterSession& Session() const { return m_session; }
    // The window's menu: close, a separator and the About entry.
    QMenu* SystemMenu() const { return m_sysMenu; }
    bool IsReading() const { return m_busy; }

public slots:
    // Closing from the title bar ends the window without a question (not while reading).
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    class BusyGuard;
    void BuildControls();
    void LayOutColumns();
    void MergeIntoLogbook(const MeterReading& reading);
    void LoadPortSetting();
    void OpenPort();
    bool PreTranslateMessage(QObject* receiver, QEvent* event) const;

    int m_nPort = 0;
    FilePaths m_paths;
    std::string m_iniNote;  // what is wrong with the INI file's setting, for the port message
    RecordTable m_records;
    CommLog m_log;
    MeterSession m_session;
    std::unique_ptr<PortLister> m_lister;

    QIcon m_hIcon;
    QPushButton* m_btnExit = nullptr;
    QTableWidget* m_list = nullptr;
    QPushButton* m_btnRead = nullptr;
    QPushButton* m_btnSave = nullptr;
    QPushButton* m_btnClear = nullptr;
    QPushButton* m_btnHistory = nullptr;
    QLabel* m_version = nullptr;
    QMenu* m_sysMenu = nullptr;
    bool m_busy = false;
};

// The application icon (32 x 32, 16 colours).
QIcon AppIcon();

}  // namespace odomei
