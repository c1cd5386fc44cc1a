#include "app/PortDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/BusyGuard.h"
#include "app/DialogUnits.h"
#include "app/MessageBox.h"
#include "app/RowList.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

constexpr int kSettleMs = 300;  // udev makes a device and its by-id link a moment apart
constexpr int kDialogWidth = 1060, kDialogHeight = 320;

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

PortSurveyor& Surveyor() {
    static PortSurveyor surveyor;
    return surveyor;
}

}  // namespace

PortSurveyor SetPortSurveyor(PortSurveyor surveyor) {
    PortSurveyor previous = std::move(Surveyor());
    Surveyor() = std::move(surveyor);
    return previous;
}

const PortSurveyor& CurrentPortSurveyor() { return Surveyor(); }

CPortDlg::CPortDlg(MeterPresenter& owner, PortSurveyor surveyor, QWidget* parent)
    : QDialog(parent), m_presenter(*this, owner, std::move(surveyor)) {
    setWindowTitle(QString::fromUtf8(kPortDlgCaption));
    setFont(DialogFont());
    resize(kDialogWidth, kDialogHeight);

    m_list = new QTableWidget(this);
    m_list->setObjectName("IDC_PORT_LIST");
    m_list->setColumnCount(kPortColumnCount);
    QStringList captions;
    for (const char* caption : kPortColumns) captions << QString::fromUtf8(caption);
    m_list->setHorizontalHeaderLabels(captions);
    for (int c = 0; c < kPortColumnCount; ++c) m_list->setColumnWidth(c, kPortColumnWidths[c]);
    m_list->horizontalHeader()->setStretchLastSection(true);
    MakeRowList(m_list);
    connect(m_list, &QTableWidget::itemSelectionChanged, this, [this] {
        if (m_filling) return;
        const auto rows = m_list->selectionModel()->selectedRows();
        m_presenter.OnSelect(rows.isEmpty() ? -1 : rows.first().row());
    });
    connect(m_list, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { m_presenter.OnChoose(row); });

    m_status = new QLabel(this);
    m_status->setObjectName("IDC_PORT_STATUS");
    m_status->setWordWrap(true);
    m_hardware = new QCheckBox(QString::fromUtf8(kPortHardwareText), this);
    m_hardware->setObjectName("IDC_PORT_HARDWARE");
    connect(m_hardware, &QCheckBox::toggled, this,
            [this](bool on) { m_presenter.SetSearchHardware(on); });

    auto button = [this](const char* text, const char* name) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    m_btnRefresh = button(kPortRefreshText, "IDC_PORT_REFRESH");
    m_btnFind = button(kPortFindText, "IDC_PORT_FIND");
    m_btnOk = button(kPortOkText, "IDOK");
    m_btnCancel = button(kPortCancelText, "IDCANCEL");
    m_btnOk->setDefault(true);
    connect(m_btnRefresh, &QPushButton::clicked, this, [this] { m_presenter.OnRefresh(); });
    connect(m_btnFind, &QPushButton::clicked, this, [this] { m_presenter.OnFindMeter(); });
    connect(m_btnOk, &QPushButton::clicked, this, &CPortDlg::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &CPortDlg::reject);

    auto* commands = new QHBoxLayout;
    commands->addWidget(m_btnRefresh);
    commands->addWidget(m_btnFind);
    commands->addWidget(m_hardware);
    commands->addStretch();
    commands->addWidget(m_btnOk);
    commands->addWidget(m_btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_status);
    layout->addLayout(commands);

    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, [this] {
        WatchExisting();
        m_presenter.OnDevicesChanged();
    });
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &CPortDlg::DevicesChanged);
    WatchFolders({"/dev", "/dev/serial", "/dev/serial/by-id"});

    m_presenter.Start();
}

CPortDlg::~CPortDlg() = default;

void CPortDlg::WatchFolders(const std::vector<std::string>& folders) {
    if (!m_watcher->directories().isEmpty()) m_watcher->removePaths(m_watcher->directories());
    m_folders = folders;
    WatchExisting();
}

// A folder that appears later (the first USB adapter makes /dev/serial/by-id) is watched from
// then on.
void CPortDlg::WatchExisting() {
    for (const std::string& folder : m_folders) {
        if (QDir(Q(folder)).exists() && !m_watcher->directories().contains(Q(folder))) {
            m_watcher->addPath(Q(folder));
        }
    }
}

void CPortDlg::DevicesChanged() {
    WatchExisting();
    m_settle->start();
}

QWidget* CPortDlg::GetDlgItem(int id) const {
    switch (id) {
        case IDC_PORT_LIST: return m_list;
        case IDC_PORT_REFRESH: return m_btnRefresh;
        case IDC_PORT_FIND: return m_btnFind;
        case IDC_PORT_HARDWARE: return m_hardware;
        case IDC_PORT_STATUS: return m_status;
        case IDOK_EXIT: return m_btnOk;
        default: return nullptr;
    }
}

void CPortDlg::accept() {
    const auto rows = m_list->selectionModel()->selectedRows();
    if (!rows.isEmpty()) m_presenter.OnChoose(rows.first().row());
}

void CPortDlg::reject() {
    if (m_closing) {
        QDialog::reject();
        return;
    }
    m_presenter.OnCancel();
}

void CPortDlg::Close(bool chosen) {
    m_closing = true;
    if (chosen) {
        QDialog::accept();
    } else {
        QDialog::reject();
    }
}

void CPortDlg::ShowPorts(const std::vector<PortRow>& rows, int selected) {
    m_filling = true;
    m_list->clearSelection();
    m_list->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const PortRow& row = rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < kPortColumnCount && c < static_cast<int>(row.texts.size()); ++c) {
            auto* item = new QTableWidgetItem(Q(row.texts[static_cast<std::size_t>(c)]));
            if (!row.reason.empty()) item->setToolTip(Q(row.reason));
            QFont font = item->font();
            font.setBold(row.current);
            item->setFont(font);
            if (!row.choosable)
                item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            m_list->setItem(r, c, item);
        }
    }
    if (selected >= 0 && selected < m_list->rowCount()) m_list->selectRow(selected);
    m_filling = false;
}

void CPortDlg::ShowStatus(const std::string& text) {
    m_status->setText(Q(text));
    m_status->repaint();
}

void CPortDlg::EnableCommands(const PortCommands& state) {
    m_btnOk->setEnabled(state.ok);
    m_btnRefresh->setEnabled(state.refresh);
    m_btnFind->setEnabled(state.find);
    m_hardware->setEnabled(state.find);
}

int CPortDlg::Message(const std::string& text, unsigned flags, const std::string& detail) {
    return AfxMessageBox(text, flags, detail);
}

void CPortDlg::BeginBusy() { m_busy = std::make_unique<BusyGuard>(this); }

void CPortDlg::EndBusy() { m_busy.reset(); }

int CPortDlg::Pause(SerialHandle port, int ms, bool untilInput) {
    return PaintingPause(port, ms, untilInput);
}

}  // namespace odomei
