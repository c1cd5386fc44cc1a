#include "app/HistoryDlg.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include "app/DialogUnits.h"
#include "app/MessageBox.h"
#include "app/SaveAs.h"
#include "ui/HistoryText.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

constexpr int kMinimumWidth = 900;
constexpr int kMinimumHeight = 720;
constexpr int kChartHeight = 230;
const QColor kActualColour(31, 119, 180);
const QColor kMeterColour(255, 127, 14);
const QColor kFactorColour(44, 160, 44);

// A chart a few hundred pixels wide shows no more points than this: beyond it, consecutive
// points are averaged (each scatter point is a graphics item of its own, so 100 000 of them take
// seconds to draw).
constexpr int kMaxChartPoints = 400;

QList<QPointF> Thinned(const QList<QPointF>& points) {
    if (points.size() <= kMaxChartPoints) return points;
    QList<QPointF> thinned;
    const qsizetype per = (points.size() + kMaxChartPoints - 1) / kMaxChartPoints;
    for (qsizetype i = 0; i < points.size(); i += per) {
        const qsizetype end = std::min(points.size(), i + per);
        QPointF sum;
        for (qsizetype k = i; k < end; ++k) sum += points[k];
        thinned.append(sum / static_cast<double>(end - i));
    }
    return thinned;
}

QDateTime When(const LogbookRecord& r) {
    return QDateTime(QDate::fromString(Q(*r.isoDate), Qt::ISODate), QTime(12, 0));
}

}  // namespace

// The records as the table shows them, newest first.
class HistoryModel final : public QAbstractTableModel {
public:
    explicit HistoryModel(const CHistoryDlg& dlg) : m_dlg(dlg) {}
    void Reset() {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_dlg.Shown().size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : kHistoryColumnCount;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
        if (role != Qt::DisplayRole) return {};
        const auto row = static_cast<std::size_t>(index.row());
        if (index.column() == 0) return static_cast<int>(m_dlg.Shown().size() - row);
        return Q(m_dlg.Presenter().RowTexts(row)[static_cast<std::size_t>(index.column())]);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return Q(m_dlg.Presenter().Captions()[static_cast<std::size_t>(section)]);
    }

private:
    const CHistoryDlg& m_dlg;
};

CHistoryDlg::CHistoryDlg(const Logbook& logbook, std::string iniPath, std::string directory,
                         QWidget* parent)
    : QDialog(parent),
      m_presenter(*this, logbook, std::move(iniPath), std::move(directory)),
      m_model(std::make_unique<HistoryModel>(*this)) {
    setWindowTitle(QString::fromUtf8(kHistoryTitle));
    setFont(DialogFont());
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    auto* controls = new QHBoxLayout;
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
    auto* close = new QPushButton(Q(kHistoryCloseText), this);
    controls->addWidget(m_range);
    controls->addWidget(m_from);
    controls->addWidget(new QLabel(Q(kHistoryRangeSeparator), this));
    controls->addWidget(m_to);
    controls->addStretch();
    controls->addWidget(new QLabel(Q(kHistoryUnitsText), this));
    controls->addWidget(m_units);
    controls->addWidget(exportButton);
    controls->addWidget(close);

    m_table = new QTableView(this);
    m_table->setModel(m_model.get());
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 4);

    m_summaryLabel = new QLabel(this);
    m_summaryLabel->setObjectName(QStringLiteral("summary"));
    m_summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* charts = new QHBoxLayout;
    m_economyChart = new QChartView(this);
    m_errorChart = new QChartView(this);
    for (QChartView* view : {m_economyChart, m_errorChart}) {
        view->setRenderHint(QPainter::Antialiasing);
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
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    m_presenter.Start();
    m_units->setCurrentIndex(m_presenter.PerHundredKm() ? 1 : 0);
    connect(m_units, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_presenter.SetPerHundredKm(index == 1); });
    if (const auto span = m_presenter.DateSpan()) {
        const QSignalBlocker blockFrom(m_from), blockTo(m_to);
        m_from->setDate(QDate::fromString(Q(span->first), Qt::ISODate));
        m_to->setDate(QDate::fromString(Q(span->second), Qt::ISODate));
    }
}

CHistoryDlg::~CHistoryDlg() = default;

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

void CHistoryDlg::Refresh() {
    m_model->Reset();
    m_summaryLabel->setText(SummaryText());
    BuildCharts();
}

int CHistoryDlg::Message(const std::string& text, unsigned flags, const std::string& detail) {
    return AfxMessageBox(text, flags, detail);
}

std::optional<SaveAsResult> CHistoryDlg::AskSaveName(const SaveAsRequest& request) {
    return ShowSaveAsDialog(request);
}

QString CHistoryDlg::SummaryText() const { return Q(m_presenter.SummaryText()); }

void CHistoryDlg::BuildCharts() {
    const bool per100km = PerHundredKm();
    // Oldest first along the time axis; records without a date have no place on it.
    QList<QPointF> actual, meter, error, factor;
    double lastX = 0;
    for (auto it = Shown().rbegin(); it != Shown().rend(); ++it) {
        if (!it->isoDate) continue;
        const double x = static_cast<double>(When(*it).toMSecsSinceEpoch());
        if (const auto v = KmPerLitre(*it)) actual.append({x, per100km ? 100.0 / *v : *v});
        if (const auto v = KmPerLitreByMeter(*it)) meter.append({x, per100km ? 100.0 / *v : *v});
        if (const auto e = ErrorPercent(*it)) error.append({x, *e});
        // The factor in force as a step: it holds until the record that shows a new one.
        const double f = static_cast<double>(it->correction) / 100.0;
        if (factor.isEmpty() || factor.last().y() != f) {
            if (!factor.isEmpty()) factor.append({x, factor.last().y()});
            factor.append({x, f});
        }
        lastX = x;
    }
    if (!factor.isEmpty()) factor.append({lastX, factor.last().y()});
    actual = Thinned(actual);
    meter = Thinned(meter);
    error = Thinned(error);
    auto timeAxis = [] {
        auto* axis = new QDateTimeAxis;
        axis->setFormat(QStringLiteral("yyyy-MM"));
        axis->setTickCount(6);
        return axis;
    };
    auto line = [](const QList<QPointF>& points, const QString& name, const QColor& colour) {
        auto* series = new QLineSeries;
        series->setName(name);
        series->replace(points);
        series->setColor(colour);
        return series;
    };

    auto* economy = new QChart;
    economy->setTitle(
        Q(std::string("給油ごとの燃費 [") + (per100km ? kLitresPer100KmUnit : kKmPerLitreUnit) + "]"));
    economy->legend()->setAlignment(Qt::AlignBottom);
    auto* x1 = timeAxis();
    auto* y1 = new QValueAxis;
    economy->addAxis(x1, Qt::AlignBottom);
    economy->addAxis(y1, Qt::AlignLeft);
    for (auto* s : {line(actual, QStringLiteral("実給油量から"), kActualColour),
                    line(meter, QStringLiteral("燃費計から"), kMeterColour)}) {
        economy->addSeries(s);
        s->attachAxis(x1);
        s->attachAxis(y1);
    }

    auto* errors = new QChart;
    errors->setTitle(QStringLiteral("給油ごとの測定誤差 [%] と補正値 [%]"));
    errors->legend()->setAlignment(Qt::AlignBottom);
    auto* x2 = timeAxis();
    auto* y2 = new QValueAxis;
    auto* y3 = new QValueAxis;
    errors->addAxis(x2, Qt::AlignBottom);
    errors->addAxis(y2, Qt::AlignLeft);
    errors->addAxis(y3, Qt::AlignRight);
    auto* errorSeries = new QScatterSeries;
    errorSeries->setName(QStringLiteral("測定誤差"));
    errorSeries->setMarkerSize(6);
    errorSeries->setColor(kActualColour);
    errorSeries->replace(error);
    errors->addSeries(errorSeries);
    errorSeries->attachAxis(x2);
    errorSeries->attachAxis(y2);
    auto* factorSeries = line(factor, QStringLiteral("補正値"), kFactorColour);
    errors->addSeries(factorSeries);
    factorSeries->attachAxis(x2);
    factorSeries->attachAxis(y3);
    y3->setTitleText(QStringLiteral("補正値 [%]"));

    // The ranges with a little room around the points.
    auto fit = [](QValueAxis* axis, const QList<QPointF>& a, const QList<QPointF>& b = {}) {
        double low = 0, high = 1;
        bool any = false;
        for (const auto* points : {&a, &b}) {
            for (const QPointF& p : *points) {
                low = any ? std::min(low, p.y()) : p.y();
                high = any ? std::max(high, p.y()) : p.y();
                any = true;
            }
        }
        const double margin = std::max((high - low) * 0.1, 0.5);
        axis->setRange(low - margin, high + margin);
    };
    fit(y1, actual, meter);
    fit(y2, error);
    fit(y3, factor);

    for (auto [view, chart] :
         {std::pair{m_economyChart, economy}, std::pair{m_errorChart, errors}}) {
        QChart* old = view->chart();
        view->setChart(chart);
        delete old;
    }
}

}  // namespace odomei
