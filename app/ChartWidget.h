// A chart of the history window: the chart model's scene for one kind, painted with QPainter at
// the widget's size.
#pragma once

#include <QImage>
#include <QWidget>

#include <memory>

#include "ui/ChartModel.h"
#include "ui/ChartPainter.h"

class QPainter;

namespace odomei {

// Paints scene primitives with a QPainter (antialiased, but for a polyline of more points than a
// chart has pixel columns, which is a band of zigzags at any rate; the font is the widget's own
// family).
class QtChartPainter final : public ChartPainter {
public:
    QtChartPainter(QPainter& painter, const QFont& font) : m_painter(painter), m_font(font) {}
    void FillRect(const ChartRect& rect) override;
    void DrawLine(const ChartLine& line) override;
    void DrawPolyline(const ChartPolyline& polyline) override;
    void DrawText(const ChartText& text) override;

private:
    QPainter& m_painter;
    QFont m_font;
};

class CChartWidget final : public QWidget {
    Q_OBJECT
public:
    CChartWidget(ChartKind kind, QWidget* parent = nullptr);

    // The model to draw (shared by both charts of the window); nothing draws an empty chart.
    void SetModel(std::shared_ptr<const ChartModel> model);
    ChartKind Kind() const { return m_kind; }
    const ChartModel* Model() const { return m_model.get(); }
    // What is painted at the widget's present size.
    ChartScene Scene() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ChartKind m_kind;
    std::shared_ptr<const ChartModel> m_model;
    // The chart as last painted, for the model and size it was painted at: an exposure or a grab
    // shows it again without laying out and drawing a million points anew.
    QImage m_painted;
};

}  // namespace odomei
