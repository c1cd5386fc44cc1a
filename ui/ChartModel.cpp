#include "ui/ChartModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "data/LogbookStats.h"
#include "platform/Dates.h"
#include "ui/ChartFont.h"
#include "ui/HistoryText.h"

namespace odomei {
namespace {

// Sizes of the layout, in pixels.
constexpr double kTitleSize = 13;
constexpr double kTitleBand = 28;   // the title above the plot
constexpr double kLegendBand = 24;  // the legend under the date labels
constexpr double kDateBand = 20;    // the date labels under the plot
constexpr double kTickLength = 4;
constexpr double kLabelGap = 6;      // between a tick and its label
constexpr double kEdge = 10;         // between the chart's edge and anything in it
constexpr double kSwatchWidth = 18;  // a legend entry's line
constexpr double kLegendGap = 20;    // between legend entries
constexpr double kMarkerSize = 4;
// Points are marked while they lie at least this far apart on average; closer, the line alone.
constexpr double kMarkerSpacing = 8;
constexpr double kSeriesWidth = 1.5;
constexpr double kValueTickSpacing = 40;  // at least this between value ticks
constexpr double kValueRoom = 0.03;       // of a value range, added above and below it

constexpr ChartColour kBackground{255, 255, 255};
constexpr ChartColour kInk{40, 40, 40};
constexpr ChartColour kFrame{110, 110, 110};
constexpr ChartColour kGrid{225, 225, 225};

// Coordinates the scene holds: tenths of a pixel, so every painter gets the same numbers.
double Snap(double v) { return std::round(v * 10.0) / 10.0; }

struct Series {
    const std::vector<ChartDatum>* data;
    ChartColour colour;
    const char* name;
    bool rightAxis;
    bool marked;  // points marked while they are few
};

// What the series span: the days over all of them, the figures per axis.
struct Ranges {
    bool anyDay = false, anyLeft = false, anyRight = false;
    std::int64_t firstDay = 0, lastDay = 0;
    double leftLow = 0, leftHigh = 0, rightLow = 0, rightHigh = 0;
};

// Where the plot lies in the chart, its axes, and how figures map onto it.
struct Plot {
    double left = 0, top = 0, right = 0, bottom = 0;
    ChartAxis x;                          // days; laid out only where a series has any
    ChartAxis leftAxis;                   // the figures of the series on the left
    ChartAxis rightAxis;                  // and of the one on the right, where there is one
    const Series* rightSeries = nullptr;  // the series the right axis is for
    double X(double day) const {
        return Snap(left + (day - x.low) / (x.high - x.low) * (right - left));
    }
    double Y(const ChartAxis& axis, double v) const {
        return Snap(bottom - (v - axis.low) / (axis.high - axis.low) * (bottom - top));
    }
};

void Range(const std::vector<ChartDatum>& data, double& low, double& high, bool& any) {
    for (const ChartDatum& d : data) {
        low = any ? std::min(low, d.value) : d.value;
        high = any ? std::max(high, d.value) : d.value;
        any = true;
    }
}

double WidestLabel(const ChartAxis& axis) {
    double widest = 0;
    for (const ChartTick& t : axis.ticks) {
        widest = std::max(widest, ChartTextWidth(t.label, kChartLabelSize));
    }
    return widest;
}

// The chart's size (at least the smallest), its background and its title.
ChartScene Background(const std::string& title, int width, int height) {
    ChartScene scene;
    scene.width = std::max(width, kMinimumChartWidth);
    scene.height = std::max(height, kMinimumChartHeight);
    const double w = scene.width, h = scene.height;
    scene.items.push_back(ChartRect{0, 0, w, h, kBackground});
    scene.items.push_back(ChartText{Snap(w / 2), kTitleBand / 2, title, kInk, kTitleSize,
                                    ChartAnchor::kMiddle, true});
    return scene;
}

// The legend, centred under everything.
void AddLegend(const std::vector<Series>& series, ChartScene& scene) {
    double legendWidth = 0;
    for (const Series& s : series) {
        legendWidth += kSwatchWidth + kLabelGap + ChartTextWidth(s.name, kChartLabelSize);
    }
    legendWidth += kLegendGap * static_cast<double>(series.size() - 1);
    double lx = Snap((scene.width - legendWidth) / 2);
    const double ly = scene.height - kLegendBand / 2;
    for (const Series& s : series) {
        scene.items.push_back(ChartRect{lx, ly - 1.5, kSwatchWidth, 3, s.colour});
        scene.items.push_back(
            ChartText{lx + kSwatchWidth + kLabelGap, ly, s.name, kInk, kChartLabelSize});
        lx = Snap(lx + kSwatchWidth + kLabelGap + ChartTextWidth(s.name, kChartLabelSize) +
                  kLegendGap);
    }
}

Ranges RangesOf(const std::vector<Series>& series) {
    Ranges r;
    for (const Series& s : series) {
        if (s.data->empty()) continue;
        r.firstDay = r.anyDay ? std::min(r.firstDay, s.data->front().day) : s.data->front().day;
        r.lastDay = r.anyDay ? std::max(r.lastDay, s.data->back().day) : s.data->back().day;
        r.anyDay = true;
        if (s.rightAxis) {
            Range(*s.data, r.rightLow, r.rightHigh, r.anyRight);
        } else {
            Range(*s.data, r.leftLow, r.leftHigh, r.anyLeft);
        }
    }
    return r;
}

// A value axis over low..high in pixels, with a little room above and below, so that a line at
// its extreme stays off the frame (0..1 where there is no figure).
ChartAxis FiguresAxis(bool any, double low, double high, double pixels) {
    if (!any) return ValueAxis(0, 1, pixels, kValueTickSpacing);
    const double room = (high - low) * kValueRoom;
    return ValueAxis(low - room, high + room, pixels, kValueTickSpacing);
}

// The plot between the title and the date labels, as wide as the value labels either side let it
// be, with its axes.
Plot PlotArea(const std::vector<Series>& series, const Ranges& ranges, double w, double h) {
    Plot plot;
    plot.top = kTitleBand;
    plot.bottom = h - kLegendBand - kDateBand;
    const double plotHeight = plot.bottom - plot.top;
    plot.leftAxis = FiguresAxis(ranges.anyLeft, ranges.leftLow, ranges.leftHigh, plotHeight);
    plot.rightAxis = FiguresAxis(ranges.anyRight, ranges.rightLow, ranges.rightHigh, plotHeight);
    const auto right =
        std::find_if(series.begin(), series.end(), [](const Series& s) { return s.rightAxis; });
    if (right != series.end()) plot.rightSeries = &*right;
    plot.left = Snap(kEdge + WidestLabel(plot.leftAxis) + kLabelGap + kTickLength);
    plot.right = Snap(w - kEdge -
                      (plot.rightSeries ? kChartLabelSize + kLabelGap +
                                              WidestLabel(plot.rightAxis) + kLabelGap + kTickLength
                                        : 0));
    if (ranges.anyDay) plot.x = DateAxis(ranges.firstDay, ranges.lastDay, plot.right - plot.left);
    return plot;
}

// The plot's left and bottom edges.
void AddFrame(const Plot& plot, std::vector<ChartItem>& items) {
    items.push_back(ChartLine{{plot.left, plot.top}, {plot.left, plot.bottom}, kFrame});
    items.push_back(ChartLine{{plot.left, plot.bottom}, {plot.right, plot.bottom}, kFrame});
}

// Where no series has a point: the frame and a word in the middle.
void AddNoData(const Plot& plot, std::vector<ChartItem>& items) {
    AddFrame(plot, items);
    items.push_back(ChartText{Snap((plot.left + plot.right) / 2),
                              Snap((plot.top + plot.bottom) / 2), kNoChartDataText, kInk,
                              kChartLabelSize, ChartAnchor::kMiddle});
}

// The dates under the plot, each with its grid line.
void AddDateTicks(const Plot& plot, std::vector<ChartItem>& items) {
    for (const ChartTick& t : plot.x.ticks) {
        const double x = plot.X(t.value);
        items.push_back(ChartLine{{x, plot.top}, {x, plot.bottom}, kGrid});
        items.push_back(ChartLine{{x, plot.bottom}, {x, plot.bottom + kTickLength}, kFrame});
        items.push_back(ChartText{x, plot.bottom + kDateBand / 2 + 1, t.label, kInk,
                                  kChartLabelSize, ChartAnchor::kMiddle});
    }
}

// The left axis's figures, each with its grid line.
void AddValueTicks(const Plot& plot, std::vector<ChartItem>& items) {
    for (const ChartTick& t : plot.leftAxis.ticks) {
        const double y = plot.Y(plot.leftAxis, t.value);
        items.push_back(ChartLine{{plot.left, y}, {plot.right, y}, kGrid});
        items.push_back(ChartLine{{plot.left - kTickLength, y}, {plot.left, y}, kFrame});
        items.push_back(ChartText{plot.left - kTickLength - kLabelGap, y, t.label, kInk,
                                  kChartLabelSize, ChartAnchor::kEnd});
    }
}

// The right axis in its series' colour: its figures, its edge and its name read upwards.
void AddRightAxis(const Plot& plot, double w, std::vector<ChartItem>& items) {
    const Series& s = *plot.rightSeries;
    for (const ChartTick& t : plot.rightAxis.ticks) {
        const double y = plot.Y(plot.rightAxis, t.value);
        items.push_back(ChartLine{{plot.right, y}, {plot.right + kTickLength, y}, kFrame});
        items.push_back(ChartText{plot.right + kTickLength + kLabelGap, y, t.label, s.colour,
                                  kChartLabelSize, ChartAnchor::kStart});
    }
    items.push_back(ChartLine{{plot.right, plot.top}, {plot.right, plot.bottom}, kFrame});
    items.push_back(ChartText{Snap(w - kEdge - kChartLabelSize / 2),
                              Snap((plot.top + plot.bottom) / 2), std::string(s.name) + " [%]",
                              s.colour, kChartLabelSize, ChartAnchor::kMiddle, false, true});
}

// The series, each reduced to what its pixel columns show, its points marked while they are few.
void AddSeries(const std::vector<Series>& series, const Plot& plot, std::vector<ChartItem>& items) {
    for (const Series& s : series) {
        if (s.data->empty()) continue;
        const ChartAxis& axis = s.rightAxis ? plot.rightAxis : plot.leftAxis;
        std::vector<ChartPoint> points;
        points.reserve(s.data->size());
        for (const ChartDatum& d : *s.data) {
            points.push_back({plot.X(static_cast<double>(d.day)), plot.Y(axis, d.value)});
        }
        points = ReduceToColumns(points);
        const bool marked = s.marked && static_cast<double>(points.size()) * kMarkerSpacing <=
                                            plot.right - plot.left;
        if (marked) {
            for (const ChartPoint& p : points) {
                items.push_back(ChartRect{Snap(p.x - kMarkerSize / 2), Snap(p.y - kMarkerSize / 2),
                                          kMarkerSize, kMarkerSize, s.colour});
            }
        }
        items.push_back(ChartPolyline{std::move(points), s.colour, kSeriesWidth});
    }
}

// One chart in width x height at the origin.
ChartScene Lay(const std::string& title, const std::vector<Series>& series, int width, int height) {
    ChartScene scene = Background(title, width, height);
    AddLegend(series, scene);
    const Ranges ranges = RangesOf(series);
    const Plot plot = PlotArea(series, ranges, scene.width, scene.height);
    if (!ranges.anyDay) {
        AddNoData(plot, scene.items);
        return scene;
    }
    AddDateTicks(plot, scene.items);
    AddValueTicks(plot, scene.items);
    AddFrame(plot, scene.items);
    if (plot.rightSeries) AddRightAxis(plot, scene.width, scene.items);
    AddSeries(series, plot, scene.items);
    return scene;
}

}  // namespace

std::vector<ChartPoint> ReduceToColumns(const std::vector<ChartPoint>& points) {
    std::vector<ChartPoint> kept;
    std::size_t begin = 0;
    while (begin < points.size()) {
        const double column = std::floor(points[begin].x);
        std::size_t end = begin + 1;
        while (end < points.size() && std::floor(points[end].x) == column) ++end;
        if (end - begin <= 4) {
            kept.insert(kept.end(), points.begin() + static_cast<std::ptrdiff_t>(begin),
                        points.begin() + static_cast<std::ptrdiff_t>(end));
        } else {
            std::size_t low = begin, high = begin;
            for (std::size_t i = begin; i < end; ++i) {
                if (points[i].y < points[low].y) low = i;
                if (points[i].y > points[high].y) high = i;
            }
            kept.push_back(points[begin]);
            for (std::size_t i : {std::min(low, high), std::max(low, high)}) {
                if (i != begin && i != end - 1 && (kept.back() != points[i])) {
                    kept.push_back(points[i]);
                }
            }
            kept.push_back(points[end - 1]);
        }
        begin = end;
    }
    return kept;
}

namespace {

ChartModel Whole(const RecordSheet& sheet, bool per100km) {
    return ChartModel(sheet, AllOf(sheet), per100km);
}

}  // namespace

ChartModel::ChartModel(const std::vector<LogbookRecord>& oldestFirst, bool per100km)
    : ChartModel(Whole(RecordSheet::FromRecords(oldestFirst), per100km)) {}

ChartModel ChartModel::FromNewestFirst(const std::vector<LogbookRecord>& newestFirst,
                                       bool per100km) {
    return ChartModel(std::vector<LogbookRecord>(newestFirst.rbegin(), newestFirst.rend()),
                      per100km);
}

ChartModel::ChartModel(const RecordSheet& sheet, const std::vector<std::uint32_t>& chosen,
                       bool per100km)
    : m_per100km(per100km) {
    struct Dated {
        std::int64_t day;
        const RecordFigures* record;
    };
    std::vector<Dated> dated;
    dated.reserve(chosen.size());
    for (const std::uint32_t i : chosen) {
        if (sheet[i].Dated()) dated.push_back({sheet[i].day, &sheet[i]});
    }
    // The logbook gives them by date already; records of one day keep their order.
    auto earlier = [](const Dated& a, const Dated& b) { return a.day < b.day; };
    if (!std::is_sorted(dated.begin(), dated.end(), earlier)) {
        std::stable_sort(dated.begin(), dated.end(), earlier);
    }
    auto economy = [per100km](std::optional<double> kmPerLitre) -> std::optional<double> {
        if (!kmPerLitre || !(*kmPerLitre > 0) || !std::isfinite(*kmPerLitre)) return std::nullopt;
        return per100km ? 100.0 / *kmPerLitre : *kmPerLitre;
    };
    for (const Dated& d : dated) {
        const RecordFigures& r = *d.record;
        if (const auto v = economy(KmPerLitre(r))) m_economy.push_back({d.day, *v});
        if (const auto v = economy(KmPerLitreByMeter(r))) m_byMeter.push_back({d.day, *v});
        if (const auto e = ErrorPercent(r); e && std::isfinite(*e)) {
            m_error.push_back({d.day, *e});
        }
        if (r.correction > 0) {
            const double factor = static_cast<double>(r.correction) / 100.0;
            if (m_factor.empty()) {
                m_factor.push_back({d.day, factor});
            } else if (m_factor.back().value != factor) {
                m_factor.push_back({d.day, m_factor.back().value});
                m_factor.push_back({d.day, factor});
            }
        }
    }
    // The last factor holds to the last dated record.
    if (!m_factor.empty() && m_factor.back().day != dated.back().day) {
        m_factor.push_back({dated.back().day, m_factor.back().value});
    }
}

bool ChartModel::Empty(ChartKind kind) const {
    if (kind == ChartKind::kEconomy) return m_economy.empty() && m_byMeter.empty();
    return m_error.empty() && m_factor.empty();
}

ChartScene ChartModel::Scene(ChartKind kind, int width, int height) const {
    if (kind == ChartKind::kEconomy) {
        const std::string title = std::string(kEconomyChartTitle) + " [" +
                                  (m_per100km ? kLitresPer100KmUnit : kKmPerLitreUnit) + "]";
        return Lay(title,
                   {{&m_economy, kEconomyColour, kEconomySeriesText, false, true},
                    {&m_byMeter, kMeterColour, kMeterSeriesText, false, true}},
                   width, height);
    }
    return Lay(kErrorChartTitle,
               {{&m_error, kEconomyColour, kErrorSeriesText, false, true},
                {&m_factor, kFactorColour, kFactorSeriesText, true, false}},
               width, height);
}

ChartScene ChartModel::Scene(const std::vector<ChartKind>& kinds, int width, int height) const {
    std::vector<ChartScene> scenes;
    for (ChartKind kind : kinds) scenes.push_back(Scene(kind, width, height));
    return StackScenes(scenes);
}

}  // namespace odomei
