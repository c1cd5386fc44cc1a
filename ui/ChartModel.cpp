#include "ui/ChartModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "data/LogbookStats.h"
#include "platform/Dates.h"
#include "ui/HistoryText.h"

namespace odomei {
namespace {

// Sizes of the layout, in pixels.
constexpr double kTitleSize = 13;
constexpr double kLabelSize = 11;
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
constexpr double kDateLabelGap = 24;      // at least this between date labels
constexpr double kValueRoom = 0.03;       // of a value range, added above and below it

// A value axis's range: figures beyond kLargestAxisFigure are drawn at it, so its arithmetic
// stays finite (the logbook's figures stay below 1e17). A spread below kFlatShare of the
// figures' size (at least kSmallestAxisScale) is drawn as one value, with kFlatRoomShare of it
// above and below, and at least kFlatRoom.
constexpr double kLargestAxisFigure = 1e300;
constexpr double kSmallestAxisScale = 1e-30;
constexpr double kFlatShare = 1e-6;
constexpr double kFlatRoomShare = 0.05;
constexpr double kFlatRoom = 1.0;
// Intervals of a value axis at most, whatever its height (10000 pixels give 250).
constexpr double kMostValueIntervals = 1000;
// Tick labels longer than this in plain digits are written with a power of ten ("1.05e+16").
constexpr std::size_t kLongestFixedLabel = 10;

constexpr ChartColour kBackground{255, 255, 255};
constexpr ChartColour kInk{40, 40, 40};
constexpr ChartColour kFrame{110, 110, 110};
constexpr ChartColour kGrid{225, 225, 225};

// Coordinates the scene holds: tenths of a pixel, so every painter gets the same numbers.
double Snap(double v) { return std::round(v * 10.0) / 10.0; }

// A text's width as the layout reckons it: wide characters a full em, the rest about 0.6.
double TextWidth(const std::string& text, double size) {
    double width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        bool narrow = length == 1;
        if (length == 3 && i + 2 < text.size()) {
            // U+FF61..U+FF9F, half-width katakana: EF BD A1..EF BE 9F
            const auto c1 = static_cast<unsigned char>(text[i + 1]);
            narrow = c == 0xEF && (c1 == 0xBD || c1 == 0xBE);
        }
        width += size * (narrow ? 0.6 : 1.0);
        i += length;
    }
    return width;
}

std::string Fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

// The round number (1, 2 or 5 times a power of ten) at or just above raw, which is above 0.
double RoundUp(double raw) {
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * magnitude >= raw * (1 - 1e-9)) return m * magnitude;
    }
    return 10 * magnitude;
}

// Labels for ticks step apart: as many decimals as the step needs, or, where that makes a label
// too long, a power of ten with the digits the step needs.
void LabelTicks(std::vector<ChartTick>& ticks, double step) {
    const int stepPower = static_cast<int>(std::floor(std::log10(step) + 1e-9));
    const int decimals = std::max(0, -stepPower);
    bool fits = true;
    for (ChartTick& t : ticks) {
        t.label = Fixed(t.value, decimals);
        fits = fits && t.label.size() <= kLongestFixedLabel;
    }
    if (fits) return;
    for (ChartTick& t : ticks) {
        if (t.value == 0) {
            t.label = "0";
            continue;
        }
        const int power = static_cast<int>(std::floor(std::log10(std::fabs(t.value)) + 1e-9));
        char text[64];
        std::snprintf(text, sizeof text, "%.*e", std::max(0, power - stepPower), t.value);
        t.label = text;
    }
}

// The steps the date axis tries, finest first.
enum class DateUnit { kDay, kMonth, kYear };
struct DateStep {
    DateUnit unit;
    int count;
};
constexpr DateStep kDateSteps[] = {
    {DateUnit::kDay, 1},      {DateUnit::kDay, 2},    {DateUnit::kDay, 7},
    {DateUnit::kDay, 14},     {DateUnit::kMonth, 1},  {DateUnit::kMonth, 2},
    {DateUnit::kMonth, 3},    {DateUnit::kMonth, 6},  {DateUnit::kYear, 1},
    {DateUnit::kYear, 2},     {DateUnit::kYear, 5},   {DateUnit::kYear, 10},
    {DateUnit::kYear, 20},    {DateUnit::kYear, 50},  {DateUnit::kYear, 100},
    {DateUnit::kYear, 200},   {DateUnit::kYear, 500}, {DateUnit::kYear, 1000},
    {DateUnit::kYear, 10000},
};

// The ticks of one step within low..high, or nothing once there are more than limit.
std::optional<std::vector<ChartTick>> DateTicks(DateStep step, double low, double high,
                                                std::size_t limit) {
    std::vector<ChartTick> ticks;
    auto add = [&](std::int64_t day, std::string label) {
        if (day < low || day > high) return true;
        ticks.push_back({static_cast<double>(day), std::move(label)});
        return ticks.size() <= limit;
    };
    const auto first = static_cast<std::int64_t>(std::ceil(low));
    const auto last = static_cast<std::int64_t>(std::floor(high));
    const CivilDate from = CivilFromDays(first);
    switch (step.unit) {
        case DateUnit::kDay: {
            // Weekly steps fall on Mondays (1970-01-05 was one).
            const std::int64_t shift = step.count >= 7 ? 3 : 0;
            std::int64_t day = first;
            while ((((day + shift) % step.count) + step.count) % step.count != 0) ++day;
            for (; day <= last; day += step.count) {
                if (!add(day, IsoDate(day))) return std::nullopt;
            }
            break;
        }
        case DateUnit::kMonth: {
            std::int64_t year = from.year;
            int month = from.month;
            while ((month - 1) % step.count != 0) ++month;  // every count divides 12
            if (month > 12) {
                month -= 12;
                ++year;
            }
            for (;;) {
                const std::int64_t day = DaysFromCivil(year, month, 1);
                if (day > last) break;
                if (!add(day, IsoDate(day).substr(0, 7))) return std::nullopt;
                month += step.count;
                if (month > 12) {
                    month -= 12;
                    ++year;
                }
            }
            break;
        }
        case DateUnit::kYear: {
            std::int64_t year = from.year;
            while (((year % step.count) + step.count) % step.count != 0) ++year;
            for (;; year += step.count) {
                const std::int64_t day = DaysFromCivil(year, 1, 1);
                if (day > last) break;
                if (!add(day, IsoDate(day).substr(0, 4))) return std::nullopt;
            }
            break;
        }
    }
    return ticks;
}

// Where the plot lies in the chart, and how figures map onto it.
struct Plot {
    double left = 0, top = 0, right = 0, bottom = 0;
    ChartAxis x;
    double X(double day) const {
        return Snap(left + (day - x.low) / (x.high - x.low) * (right - left));
    }
    double Y(const ChartAxis& axis, double v) const {
        return Snap(bottom - (v - axis.low) / (axis.high - axis.low) * (bottom - top));
    }
};

struct Series {
    const std::vector<ChartDatum>* data;
    ChartColour colour;
    const char* name;
    bool rightAxis;
    bool marked;  // points marked while they are few
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
    for (const ChartTick& t : axis.ticks) widest = std::max(widest, TextWidth(t.label, kLabelSize));
    return widest;
}

// One chart in width x height at the origin.
ChartScene Lay(const std::string& title, const std::vector<Series>& series, int width, int height) {
    ChartScene scene;
    scene.width = std::max(width, kMinimumChartWidth);
    scene.height = std::max(height, kMinimumChartHeight);
    const double w = scene.width, h = scene.height;
    auto& items = scene.items;
    items.push_back(ChartRect{0, 0, w, h, kBackground});
    items.push_back(ChartText{Snap(w / 2), kTitleBand / 2, title, kInk, kTitleSize,
                              ChartAnchor::kMiddle, true});

    // The legend, centred under everything.
    double legendWidth = 0;
    for (const Series& s : series) {
        legendWidth += kSwatchWidth + kLabelGap + TextWidth(s.name, kLabelSize);
    }
    legendWidth += kLegendGap * static_cast<double>(series.size() - 1);
    double lx = Snap((w - legendWidth) / 2);
    const double ly = h - kLegendBand / 2;
    for (const Series& s : series) {
        items.push_back(ChartRect{lx, ly - 1.5, kSwatchWidth, 3, s.colour});
        items.push_back(ChartText{lx + kSwatchWidth + kLabelGap, ly, s.name, kInk, kLabelSize});
        lx = Snap(lx + kSwatchWidth + kLabelGap + TextWidth(s.name, kLabelSize) + kLegendGap);
    }

    // The ranges: dates over every series, values per axis.
    bool anyDay = false, anyLeft = false, anyRight = false;
    std::int64_t firstDay = 0, lastDay = 0;
    double leftLow = 0, leftHigh = 0, rightLow = 0, rightHigh = 0;
    for (const Series& s : series) {
        if (s.data->empty()) continue;
        firstDay = anyDay ? std::min(firstDay, s.data->front().day) : s.data->front().day;
        lastDay = anyDay ? std::max(lastDay, s.data->back().day) : s.data->back().day;
        anyDay = true;
        if (s.rightAxis) {
            Range(*s.data, rightLow, rightHigh, anyRight);
        } else {
            Range(*s.data, leftLow, leftHigh, anyLeft);
        }
    }

    Plot plot;
    plot.top = kTitleBand;
    plot.bottom = h - kLegendBand - kDateBand;
    const double plotHeight = plot.bottom - plot.top;
    // A little room above and below, so a line at its extreme stays off the frame.
    auto valueAxis = [plotHeight](bool any, double low, double high) {
        if (!any) return ValueAxis(0, 1, plotHeight, kValueTickSpacing);
        const double room = (high - low) * kValueRoom;
        return ValueAxis(low - room, high + room, plotHeight, kValueTickSpacing);
    };
    const ChartAxis left = valueAxis(anyLeft, leftLow, leftHigh);
    const ChartAxis right = valueAxis(anyRight, rightLow, rightHigh);
    const bool hasRight =
        std::any_of(series.begin(), series.end(), [](const Series& s) { return s.rightAxis; });
    plot.left = Snap(kEdge + WidestLabel(left) + kLabelGap + kTickLength);
    plot.right = Snap(
        w - kEdge -
        (hasRight ? kLabelSize + kLabelGap + WidestLabel(right) + kLabelGap + kTickLength : 0));
    if (!anyDay) {
        items.push_back(ChartLine{{plot.left, plot.top}, {plot.left, plot.bottom}, kFrame});
        items.push_back(ChartLine{{plot.left, plot.bottom}, {plot.right, plot.bottom}, kFrame});
        items.push_back(ChartText{Snap((plot.left + plot.right) / 2),
                                  Snap((plot.top + plot.bottom) / 2), kNoChartDataText, kInk,
                                  kLabelSize, ChartAnchor::kMiddle});
        return scene;
    }
    plot.x = DateAxis(firstDay, lastDay, plot.right - plot.left);

    // Grid and ticks: dates under the plot, the values left (and right).
    for (const ChartTick& t : plot.x.ticks) {
        const double x = plot.X(t.value);
        items.push_back(ChartLine{{x, plot.top}, {x, plot.bottom}, kGrid});
        items.push_back(ChartLine{{x, plot.bottom}, {x, plot.bottom + kTickLength}, kFrame});
        items.push_back(ChartText{x, plot.bottom + kDateBand / 2 + 1, t.label, kInk, kLabelSize,
                                  ChartAnchor::kMiddle});
    }
    for (const ChartTick& t : left.ticks) {
        const double y = plot.Y(left, t.value);
        items.push_back(ChartLine{{plot.left, y}, {plot.right, y}, kGrid});
        items.push_back(ChartLine{{plot.left - kTickLength, y}, {plot.left, y}, kFrame});
        items.push_back(ChartText{plot.left - kTickLength - kLabelGap, y, t.label, kInk, kLabelSize,
                                  ChartAnchor::kEnd});
    }
    items.push_back(ChartLine{{plot.left, plot.top}, {plot.left, plot.bottom}, kFrame});
    items.push_back(ChartLine{{plot.left, plot.bottom}, {plot.right, plot.bottom}, kFrame});
    if (hasRight) {
        const Series& s = *std::find_if(series.begin(), series.end(),
                                        [](const Series& e) { return e.rightAxis; });
        for (const ChartTick& t : right.ticks) {
            const double y = plot.Y(right, t.value);
            items.push_back(ChartLine{{plot.right, y}, {plot.right + kTickLength, y}, kFrame});
            items.push_back(ChartText{plot.right + kTickLength + kLabelGap, y, t.label, s.colour,
                                      kLabelSize, ChartAnchor::kStart});
        }
        items.push_back(ChartLine{{plot.right, plot.top}, {plot.right, plot.bottom}, kFrame});
        items.push_back(ChartText{Snap(w - kEdge - kLabelSize / 2),
                                  Snap((plot.top + plot.bottom) / 2), std::string(s.name) + " [%]",
                                  s.colour, kLabelSize, ChartAnchor::kMiddle, false, true});
    }

    // The series, each reduced to what its pixel columns show.
    for (const Series& s : series) {
        if (s.data->empty()) continue;
        const ChartAxis& axis = s.rightAxis ? right : left;
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
    return scene;
}

}  // namespace

ChartAxis DateAxis(std::int64_t first, std::int64_t last, double pixels) {
    ChartAxis axis;
    // A little room either side, so the first and last points stay off the frame.
    const double pad = std::max(static_cast<double>(last - first) * 0.02, 0.5);
    axis.low = static_cast<double>(first) - pad;
    axis.high = static_cast<double>(last) + pad;
    for (const DateStep& step : kDateSteps) {
        const char* sample = step.unit == DateUnit::kDay     ? "0000-00-00"
                             : step.unit == DateUnit::kMonth ? "0000-00"
                                                             : "0000";
        const double spacing = TextWidth(sample, kLabelSize) + kDateLabelGap;
        const auto limit = static_cast<std::size_t>(std::max(1.0, std::floor(pixels / spacing)));
        if (auto ticks = DateTicks(step, axis.low, axis.high, limit)) {
            axis.ticks = std::move(*ticks);
            return axis;
        }
    }
    return axis;  // beyond ten thousand years: no ticks
}

ChartAxis ValueAxis(double low, double high, double pixels, double minimumSpacing) {
    ChartAxis axis;
    // NaN says nothing of the range: the other end stands alone (or 0..1 with neither).
    if (std::isnan(low)) low = std::isnan(high) ? 0 : high;
    if (std::isnan(high)) high = low;
    low = std::clamp(low, -kLargestAxisFigure, kLargestAxisFigure);
    high = std::clamp(high, -kLargestAxisFigure, kLargestAxisFigure);
    if (high < low) std::swap(low, high);
    // Figures that agree to about six digits are one value to the eye; a finer axis would need
    // labels longer than their meaning (and, far enough, steps below a double's own resolution).
    const double size = std::max({std::fabs(low), std::fabs(high), kSmallestAxisScale});
    if (!(high - low > size * kFlatShare)) {
        // Round room either side of a round middle: the value lies in the middle half.
        const double room = RoundUp(std::max(size * kFlatRoomShare, kFlatRoom));
        const double middle = std::round((low / 2 + high / 2) / room) * room;
        low = middle - room;
        high = middle + room;
    }
    double intervals = 1;
    if (pixels > 0 && minimumSpacing > 0) {
        intervals = std::clamp(std::floor(pixels / minimumSpacing), 1.0, kMostValueIntervals);
    }
    const double step = RoundUp((high - low) / intervals);
    // Whole steps: step is at least a millionth of a thousandth of the figures, so these counts
    // stay far inside a double's whole numbers and there are at most intervals + 2 ticks.
    const double first = std::floor(low / step + 1e-9);
    const double last = std::ceil(high / step - 1e-9);
    axis.low = first * step;
    axis.high = last * step;
    const auto count = static_cast<int>(last - first);
    for (int i = 0; i <= count; ++i) {
        double v = (first + i) * step;
        if (std::fabs(v) < step * 1e-9) v = 0;  // never "-0"
        axis.ticks.push_back({v, {}});
    }
    LabelTicks(axis.ticks, step);
    return axis;
}

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

std::vector<const LogbookRecord*> Addresses(const std::vector<LogbookRecord>& records,
                                            bool reversed) {
    std::vector<const LogbookRecord*> out;
    out.reserve(records.size());
    for (const LogbookRecord& r : records) out.push_back(&r);
    if (reversed) std::reverse(out.begin(), out.end());
    return out;
}

}  // namespace

ChartModel::ChartModel(const std::vector<LogbookRecord>& oldestFirst, bool per100km)
    : ChartModel(Addresses(oldestFirst, false), per100km) {}

ChartModel ChartModel::FromNewestFirst(const std::vector<LogbookRecord>& newestFirst,
                                       bool per100km) {
    return ChartModel(Addresses(newestFirst, true), per100km);
}

ChartModel::ChartModel(const std::vector<const LogbookRecord*>& oldestFirst, bool per100km)
    : m_per100km(per100km) {
    struct Dated {
        std::int64_t day;
        const LogbookRecord* record;
    };
    std::vector<Dated> dated;
    dated.reserve(oldestFirst.size());
    for (const LogbookRecord* r : oldestFirst) {
        if (!r->isoDate) continue;
        if (const auto day = DayNumber(*r->isoDate)) dated.push_back({*day, r});
    }
    // The logbook gives them by date already; records of one day keep their order.
    std::stable_sort(dated.begin(), dated.end(),
                     [](const Dated& a, const Dated& b) { return a.day < b.day; });
    auto economy = [per100km](std::optional<double> kmPerLitre) -> std::optional<double> {
        if (!kmPerLitre || !(*kmPerLitre > 0) || !std::isfinite(*kmPerLitre)) return std::nullopt;
        return per100km ? 100.0 / *kmPerLitre : *kmPerLitre;
    };
    for (const Dated& d : dated) {
        const LogbookRecord& r = *d.record;
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
