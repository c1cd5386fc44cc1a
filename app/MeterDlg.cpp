#include "app/MeterDlg.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTableWidget>

#include <cstdio>

#include "app/AboutBox.h"
#include "app/BusyGuard.h"
#include "app/DialogUnits.h"
#include "app/HistoryDlg.h"
#include "app/MessageBox.h"
#include "app/PortDlg.h"
#include "app/RowList.h"
#include "app/SaveAs.h"
#include "app/VehicleDlg.h"
#include "ui/ColumnLayout.h"

#include "res/odomei.xpm"

namespace odomei {
namespace {

constexpr QSize kWindowDlu{kWindowWidthDlu, kWindowHeightDlu};
const QColor kWindowColour(kWindowRed, kWindowGreen, kWindowBlue);

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

QIcon AppIcon() { return QIcon(QPixmap(odomei_xpm)); }

CMeterDlg::CMeterDlg(QWidget* parent) : QDialog(parent), m_hIcon(AppIcon()) {
    // The application's own top-level window (listed by taskbars and Alt+Tab), owned by no
    // other window: a fixed frame with a close box and no minimise or maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(Q(kAppTitle));
    setWindowIcon(m_hIcon);
    setFont(DialogFont());
    BuildControls();
    qApp->installEventFilter(this);
}

CMeterDlg::~CMeterDlg() {
    qApp->removeEventFilter(this);
    m_presenter.OnDestroy();
}

void CMeterDlg::BuildControls() {
    const QFont font = DialogFont();
    const QRect frame = DluToPixels(font, 0, 0, kWindowDlu.width(), kWindowDlu.height());
    setFixedSize(frame.size());

    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, kWindowColour);
    setPalette(windowPalette);
    setAutoFillBackground(true);

    auto place = [&](QWidget* w, const ControlTemplate& t) {
        w->setObjectName(Q(t.name));
        w->setProperty("controlId", t.id);
        w->setGeometry(DluToPixels(font, t.x, t.y, t.width, t.height));
        // Buttons and the list keep the platform's colours; only the window is tinted.
        if (!qobject_cast<QLabel*>(w)) w->setPalette(QApplication::palette(w));
    };
    auto button = [&](const ControlTemplate& t) {
        auto* b = new QPushButton(Q(t.text), this);
        place(b, t);
        b->setAutoDefault(false);
        return b;
    };

    // Template order, which is also the tab order.
    m_btnExit = button(kExit);
    m_btnExit->setDefault(true);
    connect(m_btnExit, &QPushButton::clicked, this, &CMeterDlg::OnOK);

    m_list = new QTableWidget(this);
    place(m_list, kList);
    MakeRowList(m_list);
    m_list->setShowGrid(true);
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);

    m_btnRead = button(kRead);
    connect(m_btnRead, &QPushButton::clicked, this, &CMeterDlg::OnRead);
    m_btnSave = button(kSave);
    connect(m_btnSave, &QPushButton::clicked, this, &CMeterDlg::OnSaveCsv);
    m_btnClear = button(kClear);
    connect(m_btnClear, &QPushButton::clicked, this, &CMeterDlg::OnClear);
    m_btnHistory = button(kHistory);
    connect(m_btnHistory, &QPushButton::clicked, this, &CMeterDlg::OnHistory);
    m_btnPorts = button(kPortSettings);
    connect(m_btnPorts, &QPushButton::clicked, this, &CMeterDlg::OnPortSettings);
    m_btnVehicles = button(kVehicles);
    connect(m_btnVehicles, &QPushButton::clicked, this, &CMeterDlg::OnVehicles);

    // The selected vehicle under the list's left edge; a long name is cut short with an ellipsis
    // (ShowVehicle) and shown whole as the tip.
    m_vehicle = new QLabel(this);
    place(m_vehicle, kVehicleText);
    m_vehicle->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_version = new QLabel(Q(kVersion.text), this);
    place(m_version, kVersion);
    m_version->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The whole version text must show: widen the control to the right where the font needs it.
    const int needed = QFontMetrics(font).horizontalAdvance(Q(kWidestVersionText)) + 2;
    if (m_version->width() < needed) {
        m_version->resize(std::min(needed, width() - m_version->x()), m_version->height());
    }

    setTabOrder(m_btnExit, m_list);
    setTabOrder(m_list, m_btnRead);
    setTabOrder(m_btnRead, m_btnSave);
    setTabOrder(m_btnSave, m_btnClear);
    setTabOrder(m_btnClear, m_btnHistory);
    setTabOrder(m_btnHistory, m_btnPorts);
    setTabOrder(m_btnPorts, m_btnVehicles);

    // The window menu the system menu stands for: right click on the window or Alt+Space.
    m_sysMenu = new QMenu(this);
    m_sysMenu->addAction(Q(kCloseMenuText), this, &QDialog::reject);
    m_sysMenu->addAction(Q(kHistoryMenuText), this, &CMeterDlg::OnHistory);
    m_portsAction =
        m_sysMenu->addAction(Q(kPortSettingsMenuText), this, &CMeterDlg::OnPortSettings);
    m_vehiclesAction =
        m_sysMenu->addAction(Q(kVehicleMenuText), this, [this] { OnSysCommand(ID_SYS_VEHICLES); });
    const QString about = Q(kAboutMenuText);
    if (!about.isEmpty()) {
        m_sysMenu->addSeparator();
        m_sysMenu->addAction(about, this, [this] { OnSysCommand(ID_SYS_ABOUT); });
    }
    auto* altSpace = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(altSpace, &QShortcut::activated, this,
            [this] { m_sysMenu->popup(mapToGlobal(QPoint(0, 0))); });
}

int CMeterDlg::DoModal() {
    OnInitDialog();
    // Runs until the window ends, as a modal dialog's loop would, but without making the main
    // window modal: desktops treat a modal window as some other window's dialog.
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::exit);
    show();
    return loop.exec();
}

bool CMeterDlg::OnInitDialog() {
    SetUpRecordList();
    m_presenter.Start();
    return true;
}

QWidget* CMeterDlg::GetDlgItem(int id) const {
    switch (id) {
        case IDOK_EXIT: return m_btnExit;
        case IDC_RECORD_LIST: return m_list;
        case IDC_READ: return m_btnRead;
        case IDC_SAVE_CSV: return m_btnSave;
        case IDC_CLEAR: return m_btnClear;
        case IDC_VERSION_TEXT: return m_version;
        case IDC_HISTORY: return m_btnHistory;
        case IDC_PORT_SETTINGS: return m_btnPorts;
        case IDC_VEHICLES: return m_btnVehicles;
        case IDC_VEHICLE_TEXT: return m_vehicle;
        default: return nullptr;
    }
}

void CMeterDlg::reject() {
    if (m_presenter.MayClose()) QDialog::reject();
}

void CMeterDlg::OnSysCommand(int id) {
    if ((id & 0xFFF0) == ID_SYS_ABOUT) m_presenter.OnAbout();
    if ((id & 0xFFF0) == ID_SYS_VEHICLES) m_presenter.OnVehicles();
}

void CMeterDlg::ShowAbout() {
    CAboutBox about(this);
    about.exec();
}

void CMeterDlg::contextMenuEvent(QContextMenuEvent* event) {
    // Only the window's own background (and the static text on it) opens the window menu.
    QWidget* under = childAt(event->pos());
    if (under == nullptr || under == m_version || under == m_vehicle) {
        m_sysMenu->popup(event->globalPos());
        event->accept();
    }
}

// Enter and Escape are dropped for the window and all its controls, so Enter never presses the
// default button and Escape never closes the window. Other windows (the About box, message
// boxes) keep their usual keys.
bool CMeterDlg::PreTranslateMessage(QObject* receiver, QEvent* event) const {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (widget == nullptr || widget->window() != this) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

bool CMeterDlg::eventFilter(QObject* watched, QEvent* event) {
    if (PreTranslateMessage(watched, event)) return true;
    return QDialog::eventFilter(watched, event);
}

void CMeterDlg::SetUpRecordList() {
    m_list->setRowCount(0);
    m_list->setColumnCount(0);
    m_list->setColumnCount(static_cast<int>(std::size(kColumns)));
    for (int c = 0; c < static_cast<int>(std::size(kColumns)); ++c) {
        auto* header = new QTableWidgetItem(Q(kColumns[c].caption));
        header->setTextAlignment(Qt::AlignCenter);
        m_list->setHorizontalHeaderItem(c, header);
    }
    LayOutColumns();
}

// The designed widths where they fit; where the font makes them overflow, the difference comes
// from the columns whose texts need less, so that the captions and figures show without a
// scroll bar. Texts wider than any plausible one widen their column (the list then scrolls).
void CMeterDlg::LayOutColumns() {
    const QFontMetrics header(m_list->horizontalHeader()->font());
    const QFontMetrics cells(m_list->font());
    std::vector<int> designed, needed;
    for (int c = 0; c < static_cast<int>(std::size(kColumns)); ++c) {
        designed.push_back(kColumns[c].width);
        int need = std::max(header.horizontalAdvance(Q(kColumns[c].caption)),
                            cells.horizontalAdvance(Q(kWidestTexts[c])));
        for (int r = 0; r < m_list->rowCount(); ++r) {
            need = std::max(need, cells.horizontalAdvance(m_list->item(r, c)->text()));
        }
        needed.push_back(need + kCellPadding);
    }
    // The rows take a vertical scroll bar's room only when they do not fit the list's height.
    int client = m_list->width() - 2 * m_list->frameWidth();
    const int rowsHeight = m_list->horizontalHeader()->sizeHint().height() +
                           kMaxRecords * m_list->verticalHeader()->defaultSectionSize();
    if (rowsHeight > m_list->height() - 2 * m_list->frameWidth()) {
        client -= m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list);
    }
    const std::vector<int> widths = FitColumns(designed, needed, client);
    for (int c = 0; c < static_cast<int>(widths.size()); ++c) m_list->setColumnWidth(c, widths[c]);
}

void CMeterDlg::ShowRows(const std::vector<std::vector<std::string>>& rows) {
    m_list->setRowCount(0);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        m_list->insertRow(r);
        const auto& texts = rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < static_cast<int>(texts.size()); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(texts[c]));
            item->setTextAlignment(Qt::AlignCenter);
            m_list->setItem(r, c, item);
        }
    }
    if (!rows.empty()) LayOutColumns();
}

void CMeterDlg::ShowVersion(const std::string& text) {
    m_version->setText(QString::fromStdString(text));
}

void CMeterDlg::ShowVehicle(const std::string& text) {
    const QString whole = QString::fromStdString(text);
    m_vehicle->setText(
        QFontMetrics(m_vehicle->font()).elidedText(whole, Qt::ElideRight, m_vehicle->width()));
    m_vehicle->setToolTip(whole);
}

void CMeterDlg::EnableCommands(const CommandState& state) {
    m_btnRead->setEnabled(state.read);
    m_btnSave->setEnabled(state.save);
    m_btnClear->setEnabled(state.clear);
    m_btnPorts->setEnabled(state.ports);
    m_portsAction->setEnabled(state.ports);
    // The vehicle dialog, as the port chooser, never while a read runs.
    m_btnVehicles->setEnabled(state.ports);
    m_vehiclesAction->setEnabled(state.ports);
}

void CMeterDlg::FocusExit() { m_btnExit->setFocus(); }

int CMeterDlg::Message(const std::string& text, unsigned flags, const std::string& detail) {
    return AfxMessageBox(text, flags, detail);
}

std::optional<SaveAsResult> CMeterDlg::AskSaveName(const SaveAsRequest& request) {
    return ShowSaveAsDialog(request);
}

void CMeterDlg::Diagnose(const std::string& line) {
    std::fprintf(stderr, "odomei: %s\n", line.c_str());
}

void CMeterDlg::ShowHistory(const Logbook& logbook, const std::string& vehicle,
                            const std::string& iniPath, const std::string& directory) {
    CHistoryDlg history(logbook, vehicle, iniPath, directory, this);
    history.exec();
}

std::optional<std::string> CMeterDlg::ShowVehicles(const VehicleRequest& request) {
    CVehicleDlg vehicles(request, this);
    vehicles.exec();
    return vehicles.Chosen();
}

void CMeterDlg::ShowPortChooser(MeterPresenter& owner) {
    CPortDlg chooser(owner, CurrentPortSurveyor(), this);
    chooser.exec();
}

void CMeterDlg::BeginBusy() { m_busy = std::make_unique<BusyGuard>(this); }

void CMeterDlg::EndBusy() { m_busy.reset(); }

int CMeterDlg::Pause(SerialHandle port, int ms, bool untilInput) {
    return PaintingPause(port, ms, untilInput);
}

}  // namespace odomei
