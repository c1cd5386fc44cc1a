#include "app/ChartWidget.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace odomei {
namespace {

QColor Q(ChartColour c) { return QColor(c.r, c.g, c.b); }

QPen Pen(ChartColour c, double width, bool dashed = false) {
    QPen pen(Q(c), width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::RoundJoin);
    if (dashed) pen.setStyle(Qt::DashLine);
    return pen;
}

// Points per stroke of a long polyline.
constexpr qsizetype kPolylineRun = 16;
// A polyline of more points (two to each pixel column of a chart of 500) is drawn without
// antialiasing: in a third of the time, and in a band that dense its steps do not show.
constexpr std::size_t kDensePoints = 1000;

// A text's box around its anchor: wide enough for any line of a chart.
constexpr double kTextBox = 2000;

}  // namespace

void QtChartPainter::FillRect(const ChartRect& r) {
    m_painter.fillRect(QRectF(r.x, r.y, r.width, r.height), Q(r.fill));
}

void QtChartPainter::DrawLine(const ChartLine& l) {
    m_painter.setPen(Pen(l.colour, l.width, l.dashed));
    m_painter.drawLine(QPointF(l.from.x, l.from.y), QPointF(l.to.x, l.to.y));
}

void QtChartPainter::DrawPolyline(const ChartPolyline& p) {
    // In short runs: one antialiased outline of thousands of crossing segments takes the
    // rasteriser seconds, short ones milliseconds. Round caps hide where two runs meet.
    QPen pen = Pen(p.colour, p.width);
    pen.setCapStyle(Qt::RoundCap);
    m_painter.setPen(pen);
    const bool dense = p.points.size() > kDensePoints;
    if (dense) m_painter.setRenderHint(QPainter::Antialiasing, false);
    QPolygonF run;
    for (std::size_t i = 0; i < p.points.size(); ++i) {
        run.append(QPointF(p.points[i].x, p.points[i].y));
        if (run.size() == kPolylineRun || i + 1 == p.points.size()) {
            m_painter.drawPolyline(run);
            const QPointF last = run.last();
            run.clear();
            run.append(last);
        }
    }
    if (dense) m_painter.setRenderHint(QPainter::Antialiasing, true);
}

void QtChartPainter::DrawText(const ChartText& t) {
    QFont font = m_font;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(t.size))));
    font.setBold(t.bold);
    m_painter.setFont(font);
    m_painter.setPen(Q(t.colour));
    m_painter.save();
    m_painter.translate(t.x, t.y);
    if (t.vertical) m_painter.rotate(-90);
    // The box lies right of, around or left of the anchor; the line is centred on y.
    const double left = ByAnchor(t.anchor, 0.0, -kTextBox / 2, -kTextBox);
    const Qt::Alignment align = ByAnchor(t.anchor, Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight);
    m_painter.drawText(QRectF(left, -t.size, kTextBox, 2 * t.size), align | Qt::AlignVCenter,
                       QString::fromStdString(t.text));
    m_painter.restore();
}

CChartWidget::CChartWidget(ChartKind kind, QWidget* parent) : QWidget(parent), m_kind(kind) {
    setMinimumSize(kMinimumChartWidth, kMinimumChartHeight);
}

void CChartWidget::SetModel(std::shared_ptr<const ChartModel> model) {
    m_model = std::move(model);
    m_painted = QImage();
    update();
}

ChartScene CChartWidget::Scene() const {
    if (!m_model) return {};
    return m_model->Scene(m_kind, width(), height());
}

void CChartWidget::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (m_painted.size() != pixels || m_painted.devicePixelRatio() != ratio) {
        m_painted = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_painted.setDevicePixelRatio(ratio);
        m_painted.fill(Qt::transparent);
        QPainter painter(&m_painted);
        painter.setRenderHint(QPainter::Antialiasing);
        QtChartPainter chartPainter(painter, font());
        PaintScene(Scene(), chartPainter);
    }
    QPainter(this).drawImage(0, 0, m_painted);
}

}  // namespace odomei
