#include "app/HistoryDlg.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "app/ChartWidget.h"
#include "app/DialogUnits.h"
#include "app/MessageBox.h"
#include "app/SaveAs.h"
#include "ui/ChartSvg.h"
#include "ui/HistoryText.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

constexpr int kMinimumWidth = 900;
constexpr int kMinimumHeight = 720;
constexpr int kChartHeight = 230;
// The rows a column's width is measured over (MeasureColumns).
constexpr std::size_t kMeasuredRows = 100;

}  // namespace

// The records as the table shows them, newest first.
class HistoryModel final : public QAbstractTableModel {
public:
    explicit HistoryModel(const CHistoryDlg& dlg) : m_dlg(dlg) {}
    void Reset() {
        beginResetModel();
        m_rows = static_cast<int>(m_dlg.Presenter().RowCount());
        endResetModel();
    }
    // Every cell and caption again where the rows are as many as before (else a reset).
    void Update() {
        if (m_rows != static_cast<int>(m_dlg.Presenter().RowCount())) return Reset();
        if (m_rows == 0) return;
        emit dataChanged(index(0, 0), index(rowCount({}) - 1, kHistoryColumnCount - 1));
        emit headerDataChanged(Qt::Horizontal, 0, kHistoryColumnCount - 1);
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        if (index.isValid() &&
            m_dlg.Presenter().IsEditable(static_cast<std::size_t>(index.row()), index.column())) {
            flags |= Qt::ItemIsEditable;
        }
        return flags;
    }
    // The text typed is stored once the editor has closed: a message it may give comes after,
    // and the old text shows until the records are read again.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
        auto* dlg = const_cast<CHistoryDlg*>(&m_dlg);
        QMetaObject::invokeMethod(
            dlg,
            [dlg, row = index.row(), column = index.column(), text = value.toString()] {
                dlg->StoreEdit(row, column, text.toStdString());
            },
            Qt::QueuedConnection);
        return true;
    }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_dlg.Presenter().RowCount());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : kHistoryColumnCount;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
        if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
        // Only the cells in view are asked for, and only they are formatted.
        return Q(m_dlg.Presenter().CellText(static_cast<std::size_t>(index.row()), index.column()));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return Q(m_dlg.Presenter().Captions()[static_cast<std::size_t>(section)]);
    }

private:
    const CHistoryDlg& m_dlg;
    int m_rows = 0;  // as many as the view was last told of
};

CHistoryDlg::CHistoryDlg(const Logbook& logbook, std::string vehicle, std::string iniPath,
                         std::string directory, QWidget* parent)
    : QDialog(parent),
      m_presenter(*this, logbook, std::move(vehicle), std::move(iniPath), std::move(directory)),
      m_model(std::make_unique<HistoryModel>(*this)) {
    setWindowTitle(QString::fromUtf8(kHistoryTitle));
    setFont(DialogFont());
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    auto* controls = new QHBoxLayout;
    // The vehicle first: everything right of it and below is that vehicle's.
    m_vehicle = new QComboBox(this);
    m_vehicle->setObjectName(QStringLiteral("IDC_HISTORY_VEHICLE"));
    m_vehicle->setProperty("controlId", IDC_HISTORY_VEHICLE);
    m_vehicle->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_range = new QCheckBox(Q(kHistoryRangeText), this);
    m_from = new QDateEdit(this);
    m_to = new QDateEdit(this);
    for (QDateEdit* edit : {m_from, m_to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(Q(kHistoryDateFormat));
        edit->setEnabled(false);
    }
    m_units = new QComboBox(this);
    m_units->addItems({kKmPerLitreUnit, kLitresPer100KmUnit});
    auto* exportButton = new QPushButton(Q(kHistoryExportText), this);
    // Next to the list's own save, and after it in the Tab order.
    auto* exportForApp = new QPushButton(Q(kExportForAppText), this);
    exportForApp->setObjectName(QStringLiteral("exportForApp"));
    auto* saveCharts = new QPushButton(Q(kSaveChartText), this);
    auto* close = new QPushButton(Q(kHistoryCloseText), this);
    auto* vehicleLabel = new QLabel(Q(kHistoryVehicleLabel), this);
    vehicleLabel->setBuddy(m_vehicle);
    controls->addWidget(vehicleLabel);
    controls->addWidget(m_vehicle);
    controls->addSpacing(QFontMetrics(font()).averageCharWidth() * 2);
    controls->addWidget(m_range);
    controls->addWidget(m_from);
    controls->addWidget(new QLabel(Q(kHistoryRangeSeparator), this));
    controls->addWidget(m_to);
    controls->addStretch();
    controls->addWidget(new QLabel(Q(kHistoryUnitsText), this));
    controls->addWidget(m_units);
    controls->addWidget(exportButton);
    controls->addWidget(exportForApp);
    controls->addWidget(saveCharts);
    controls->addWidget(close);

    m_table = new QTableView(this);
    m_table->setModel(m_model.get());
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The price and odometer cells are typed into in place: a double click or F2, Enter stores,
    // Esc leaves the old value.
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);  // FitColumns
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 4);
    m_table->viewport()->installEventFilter(this);

    m_summaryLabel = new QLabel(this);
    m_summaryLabel->setObjectName(QStringLiteral("summary"));
    m_summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* charts = new QHBoxLayout;
    m_economyChart = new CChartWidget(ChartKind::kEconomy, this);
    m_errorChart = new CChartWidget(ChartKind::kError, this);
    for (CChartWidget* view : {m_economyChart, m_errorChart}) {
        view->setMinimumHeight(kChartHeight);
        charts->addWidget(view);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_summaryLabel);
    layout->addLayout(charts);

    connect(m_range, &QCheckBox::toggled, this, [this](bool on) {
        m_from->setEnabled(on);
        m_to->setEnabled(on);
        Reload();
    });
    connect(m_from, &QDateEdit::dateChanged, this, [this] { Reload(); });
    connect(m_to, &QDateEdit::dateChanged, this, [this] { Reload(); });
    connect(exportButton, &QPushButton::clicked, this, &CHistoryDlg::OnExport);
    connect(exportForApp, &QPushButton::clicked, this, &CHistoryDlg::OnExportForApp);
    connect(saveCharts, &QPushButton::clicked, this, &CHistoryDlg::OnSaveCharts);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    m_presenter.Start();
    for (const std::string& name : m_presenter.VehicleNames()) m_vehicle->addItem(Q(name));
    m_vehicle->setCurrentIndex(static_cast<int>(m_presenter.VehicleIndex()));
    connect(m_vehicle, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        m_presenter.SelectVehicle(static_cast<std::size_t>(index));
        // The range's dates start at the vehicle's own span until a range is chosen.
        if (!m_range->isChecked()) ShowSpan();
    });
    m_units->setCurrentIndex(m_presenter.PerHundredKm() ? 1 : 0);
    connect(m_units, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_presenter.SetPerHundredKm(index == 1); });
    ShowSpan();
}

CHistoryDlg::~CHistoryDlg() = default;

void CHistoryDlg::ShowSpan() {
    if (const auto span = m_presenter.DateSpan()) {
        const QSignalBlocker blockFrom(m_from), blockTo(m_to);
        m_from->setDate(QDate::fromString(Q(span->first), Qt::ISODate));
        m_to->setDate(QDate::fromString(Q(span->second), Qt::ISODate));
    }
}

void CHistoryDlg::SelectVehicle(int i) { m_vehicle->setCurrentIndex(i); }

void CHistoryDlg::SetRange(const std::string& from, const std::string& to) {
    const QSignalBlocker blockFrom(m_from), blockTo(m_to), blockRange(m_range);
    const bool on = !from.empty() || !to.empty();
    m_range->setChecked(on);
    m_from->setEnabled(on);
    m_to->setEnabled(on);
    if (!from.empty()) m_from->setDate(QDate::fromString(Q(from), Qt::ISODate));
    if (!to.empty()) m_to->setDate(QDate::fromString(Q(to), Qt::ISODate));
    Reload();
}

void CHistoryDlg::SetPerHundredKm(bool per100km) { m_units->setCurrentIndex(per100km ? 1 : 0); }

void CHistoryDlg::Reload() {
    if (!m_range->isChecked()) {
        m_presenter.ShowAll();
        return;
    }
    m_presenter.ShowRange(m_from->date().toString(Qt::ISODate).toStdString(),
                          m_to->date().toString(Qt::ISODate).toStdString());
}

void CHistoryDlg::StoreEdit(int row, int column, const std::string& text) {
    if (row < 0) return;
    m_keepRows = true;
    m_presenter.OnEdit(static_cast<std::size_t>(row), column, text);
    m_keepRows = false;
}

void CHistoryDlg::Refresh() {
    if (m_keepRows) {
        m_model->Update();
    } else {
        m_model->Reset();
    }
    m_summaryLabel->setText(SummaryText());
    BuildCharts();
    MeasureColumns();
    FitColumns();
}

// What each column needs: as wide as its caption, and as the longest texts of the rows measured
// (kMeasuredRows from the top: the newest, whose odometer is the largest) with the margins the
// table's cells draw them in. The digits of a figure are all as wide, so a column's longest texts
// are its widest; only those are measured, which is a hundred times quicker than asking the table.
void CHistoryDlg::MeasureColumns() {
    const QFontMetrics metrics(m_table->font());
    const int margins =
        2 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 1);
    QHeaderView* header = m_table->horizontalHeader();
    const std::size_t rows = std::min<std::size_t>(m_presenter.RowCount(), kMeasuredRows);
    m_needed.assign(kHistoryColumnCount, 0);
    for (int c = 0; c < kHistoryColumnCount; ++c) {
        std::vector<std::string> longest;
        for (std::size_t r = 0; r < rows; ++r) {
            std::string text = m_presenter.CellText(r, c);
            if (!longest.empty() && text.size() < longest.front().size()) continue;
            if (!longest.empty() && text.size() > longest.front().size()) longest.clear();
            if (std::find(longest.begin(), longest.end(), text) == longest.end()) {
                longest.push_back(std::move(text));
            }
        }
        int needed = header->sectionSizeHint(c);
        for (const std::string& text : longest) {
            needed = std::max(needed, metrics.horizontalAdvance(Q(text)) + margins);
        }
        m_needed[static_cast<std::size_t>(c)] = needed;
    }
}

// Every column as wide as it needs, and the room left shared alike, so that neither a date nor a
// caption is cut where the table is wide enough for all.
void CHistoryDlg::FitColumns() {
    QHeaderView* header = m_table->horizontalHeader();
    int total = 0;
    for (const int n : m_needed) total += n;
    const int spare = std::max(0, m_table->viewport()->width() - total);
    for (int c = 0; c < static_cast<int>(m_needed.size()); ++c) {
        header->resizeSection(c, m_needed[static_cast<std::size_t>(c)] +
                                     spare / kHistoryColumnCount +
                                     (c < spare % kHistoryColumnCount ? 1 : 0));
    }
}

bool CHistoryDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_table->viewport() && event->type() == QEvent::Resize) FitColumns();
    return QDialog::eventFilter(watched, event);
}

int CHistoryDlg::Message(const std::string& text, unsigned flags, const std::string& detail) {
    return AfxMessageBox(text, flags, detail);
}

std::optional<SaveAsResult> CHistoryDlg::AskSaveName(const SaveAsRequest& request) {
    return ShowSaveAsDialog(request);
}

QString CHistoryDlg::SummaryText() const { return Q(m_presenter.SummaryText()); }

void CHistoryDlg::OnSaveCharts() { SaveHistoryCharts(m_presenter, *this); }

void CHistoryDlg::BuildCharts() {
    // One model for both charts; each widget lays it out at its own size when it paints.
    auto model = std::make_shared<const ChartModel>(m_presenter.Sheet(), m_presenter.Chosen(),
                                                    PerHundredKm());
    m_economyChart->SetModel(model);
    m_errorChart->SetModel(std::move(model));
}

}  // namespace odomei
