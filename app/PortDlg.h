// The port chooser: the machine's serial ports with their state, 再検索, メーターを探す, OK and
// キャンセル. Draws what the port presenter decides; a device that comes or goes while it is
// open is seen at once (the device folders are watched).
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

#include "ui/PortPresenter.h"

class QCheckBox;
class QFileSystemWatcher;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace odomei {

class BusyGuard;

class CPortDlg : public QDialog, private PortView {
    Q_OBJECT
public:
    // Over the main window's presenter; surveyor empty: the machine's own ports.
    explicit CPortDlg(MeterPresenter& owner, PortSurveyor surveyor = {}, QWidget* parent = nullptr);
    ~CPortDlg() override;

    const PortPresenter& Presenter() const { return m_presenter; }
    QWidget* GetDlgItem(int id) const;
    // The folders watched for devices that come and go (default: /dev and /dev/serial/by-id).
    void WatchFolders(const std::vector<std::string>& folders);

public slots:
    void accept() override;
    void reject() override;

private:
    // The view.
    void ShowPorts(const std::vector<PortRow>& rows, int selected) override;
    void ShowStatus(const std::string& text) override;
    void EnableCommands(const PortCommands& state) override;
    int Message(const std::string& text, unsigned flags, const std::string& detail) override;
    void BeginBusy() override;
    void EndBusy() override;
    int Pause(SerialHandle port, int ms, bool untilInput) override;
    void Close(bool chosen) override;

    void DevicesChanged();
    void WatchExisting();

    PortPresenter m_presenter;
    QTableWidget* m_list = nullptr;
    QLabel* m_status = nullptr;
    QCheckBox* m_hardware = nullptr;
    QPushButton* m_btnRefresh = nullptr;
    QPushButton* m_btnFind = nullptr;
    QPushButton* m_btnOk = nullptr;
    QPushButton* m_btnCancel = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    std::vector<std::string> m_folders;
    QTimer* m_settle = nullptr;  // devices come in bursts: one survey after the last change
    std::unique_ptr<BusyGuard> m_busy;
    bool m_filling = false;  // rows being drawn: no selection to forward
    bool m_closing = false;
};

// The surveyor every chooser the main window opens uses (tests give one over trees of their own);
// returns the one replaced. Empty: the machine's own ports.
PortSurveyor SetPortSurveyor(PortSurveyor surveyor);
const PortSurveyor& CurrentPortSurveyor();

}  // namespace odomei
