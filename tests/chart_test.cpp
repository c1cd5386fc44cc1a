// The history's charts without a toolkit: date and value ticks, the series reduced per pixel
// column without losing an outlier, the factor's step, the layout at any size, and the SVG drawing
// exactly what any other painter is asked to draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <limits>
#include <map>
#include <random>
#include <sstream>

#include "ui/ChartModel.h"
#include "ui/ChartSvg.h"

namespace odomei {
namespace {

// Remembers every primitive it is asked to paint.
class RecordingPainter final : public ChartPainter {
public:
    void Begin(int sceneWidth, int sceneHeight) override {
        width = sceneWidth;
        height = sceneHeight;
    }
    void FillRect(const ChartRect& r) override { rects.push_back(r); }
    void DrawLine(const ChartLine& l) override { lines.push_back(l); }
    void DrawPolyline(const ChartPolyline& p) override { polylines.push_back(p); }
    void DrawText(const ChartText& t) override { texts.push_back(t); }

    int width = 0, height = 0;
    std::vector<ChartRect> rects;
    std::vector<ChartLine> lines;
    std::vector<ChartPolyline> polylines;
    std::vector<ChartText> texts;
};

RecordingPainter Painted(const ChartScene& scene) {
    RecordingPainter painter;
    PaintScene(scene, painter);
    return painter;
}

// A record of day `day` (days since 1970) driving km on litres refilled, the meter measuring
// metered litres under a correction factor in hundredths of a percent.
LogbookRecord Refuel(std::int64_t day, double km, double litres, double metered,
                     std::int64_t correction = 10000) {
    LogbookRecord r;
    r.isoDate = IsoDate(day);
    r.distance = std::llround(km * 100);
    r.refuel = std::llround(litres * 100);
    r.fuel = std::llround(metered * 100);
    r.correction = correction;
    return r;
}

// Everything painted lies inside the picture, at finite coordinates.
void ExpectInside(const RecordingPainter& p) {
    auto inside = [&p](ChartPoint q) {
        EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y) && q.x >= 0 && q.x <= p.width &&
                    q.y >= 0 && q.y <= p.height)
            << q.x << "," << q.y;
    };
    for (const auto& r : p.rects) {
        inside({r.x, r.y});
        inside({r.x + r.width, r.y + r.height});
    }
    for (const auto& l : p.lines) {
        inside(l.from);
        inside(l.to);
    }
    for (const auto& l : p.polylines) std::for_each(l.points.begin(), l.points.end(), inside);
    for (const auto& t : p.texts) inside({t.x, t.y});
}

const ChartPolyline* SeriesOf(const RecordingPainter& p, ChartColour colour) {
    for (const ChartPolyline& line : p.polylines) {
        if (line.colour == colour) return &line;
    }
    return nullptr;
}

TEST(ChartDates, DayNumbersRoundTripAndImpossibleDaysAreRefused) {
    EXPECT_EQ(DayNumber("1970-01-01"), 0);
    EXPECT_EQ(DayNumber("1969-12-31"), -1);
    EXPECT_EQ(DayNumber("2000-03-01"), *DayNumber("2000-02-28") + 2);  // 2000 was a leap year
    EXPECT_EQ(DayNumber("2100-03-01"), *DayNumber("2100-02-28") + 1);  // 2100 will not be
    // Every day of four centuries turns into its number and back, one day after the other.
    std::string previous = IsoDate(*DayNumber("1800-01-01") - 1);
    for (std::int64_t day = *DayNumber("1800-01-01"); day <= *DayNumber("2199-12-31"); ++day) {
        const std::string iso = IsoDate(day);
        ASSERT_GT(iso, previous);
        ASSERT_EQ(DayNumber(iso), day) << iso;
        previous = iso;
    }
    for (const char* bad : {"2023-02-29", "2024-02-30", "2024-04-31", "2024-13-01", "2024-00-10",
                            "2024-1-01", "2024/01/01", "2024-01-1x", "", "20240101"}) {
        EXPECT_EQ(DayNumber(bad), std::nullopt) << bad;
    }
}

TEST(ChartAxes, DatesTickAtWholeDaysMonthsOrYearsAsTheRangeNeeds) {
    struct Case {
        const char* first;
        const char* last;
        double pixels;
        std::size_t labelLength;  // 10 days, 7 months, 4 years
    };
    for (const Case& c : {Case{"2024-03-05", "2024-03-05", 600, 10},  // a single day
                          Case{"2024-03-01", "2024-03-09", 600, 10},
                          Case{"2023-01-15", "2023-11-20", 600, 7},  // a year of months
                          Case{"2023-12-20", "2024-02-10", 150, 7},  // across a new year
                          Case{"2023-11-20", "2024-12-01", 300, 7},  // quarters from November
                          Case{"2010-03-01", "2020-02-01", 600, 4},  // ten years
                          Case{"1900-01-01", "2099-12-31", 500, 4}}) {
        SCOPED_TRACE(std::string(c.first) + ".." + c.last);
        const std::int64_t first = *DayNumber(c.first), last = *DayNumber(c.last);
        const ChartAxis axis = DateAxis(first, last, c.pixels);
        EXPECT_LE(axis.low, first);
        EXPECT_GE(axis.high, last);
        ASSERT_FALSE(axis.ticks.empty());
        if (first != last) {
            EXPECT_GE(axis.ticks.size(), 2u);
        }
        std::vector<double> steps;
        for (std::size_t i = 0; i < axis.ticks.size(); ++i) {
            const ChartTick& t = axis.ticks[i];
            EXPECT_GE(t.value, axis.low);
            EXPECT_LE(t.value, axis.high);
            ASSERT_EQ(t.label.size(), c.labelLength) << t.label;
            // A tick lies on the first day its label names.
            const std::string day = t.label + std::string("-01-01").substr(0, 10 - t.label.size());
            EXPECT_EQ(IsoDate(static_cast<std::int64_t>(t.value)), day);
            if (i == 0) continue;
            // Labels never crowd: each has its own width and a gap before the next.
            const double apart = (t.value - axis.ticks[i - 1].value) / (axis.high - axis.low);
            EXPECT_GE(apart * c.pixels, static_cast<double>(c.labelLength) * 6) << t.label;
        }
    }
    // A single day names that day.
    EXPECT_EQ(DateAxis(*DayNumber("2024-03-05"), *DayNumber("2024-03-05"), 600).ticks[0].label,
              "2024-03-05");
}

TEST(ChartAxes, ValueTicksAreRoundAndCoverTheFigures) {
    struct Case {
        double low, high, pixels;
    };
    for (const Case& c : {Case{0.3, 0.37, 200}, Case{12.1, 19.7, 240}, Case{-4.2, 3.1, 300},
                          Case{98.5, 103.25, 120}, Case{1234, 98765, 400}, Case{5, 5, 200},
                          Case{-0.001, 0.0004, 100}, Case{7.4, 71.2, 60}}) {
        SCOPED_TRACE(std::to_string(c.low) + ".." + std::to_string(c.high));
        const ChartAxis axis = ValueAxis(c.low, c.high, c.pixels, 40);
        ASSERT_GE(axis.ticks.size(), 2u);
        EXPECT_LE(axis.low, c.low);
        EXPECT_GE(axis.high, c.high);
        EXPECT_DOUBLE_EQ(axis.ticks.front().value, axis.low);
        EXPECT_DOUBLE_EQ(axis.ticks.back().value, axis.high);
        EXPECT_LE(static_cast<double>(axis.ticks.size() - 1), std::max(1.0, c.pixels / 40));
        const double step = axis.ticks[1].value - axis.ticks[0].value;
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 ||
                    std::fabs(mantissa - 5) < 1e-6)
            << step;
        for (std::size_t i = 0; i < axis.ticks.size(); ++i) {
            const ChartTick& t = axis.ticks[i];
            if (i > 0) {
                EXPECT_NEAR(t.value - axis.ticks[i - 1].value, step, step * 1e-6);
            }
            EXPECT_NEAR(std::stod(t.label), t.value, step * 1e-3) << t.label;
            // Zero is written as such, never "-0".
            if (t.label.find_first_not_of("-0.") == std::string::npos) {
                EXPECT_NE(t.label[0], '-');
            }
        }
    }
}

TEST(ChartAxes, FlatNearlyFlatHugeTinyAndNonFiniteRangesGetAFewShortRoundTicks) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kMax = std::numeric_limits<double>::max();
    // 700000.01 km on 700000.00 L: one unit in the last place from 700000.02 on 700000.01.
    const double ratio = 70000001.0 / 70000000.0, next = 70000002.0 / 70000001.0;
    ASSERT_NE(ratio, next);
    ASSERT_LT(std::fabs(ratio - next), 4e-16);
    struct Case {
        double low, high, pixels;
        double flatAt;  // drawn as this one value (NaN: not flat)
    };
    for (const Case& c :
         {Case{ratio, next, 254, ratio}, Case{next, ratio, 254, ratio},  // either way round
          Case{700000.01, 700000.02, 254, 700000.01}, Case{1e16, 1e16 + 2, 300, 1e16},
          Case{-3, -3, 200, -3}, Case{0, 0, 200, 0}, Case{1e-300, 1e-300, 200, 1e-300},
          Case{0, std::numeric_limits<double>::denorm_min(), 200, 0}, Case{-1e16, 1e16, 300, kNaN},
          Case{0, 1e-13, 300, kNaN}, Case{1e-300, 3e-300, 300, kNaN},
          Case{-1e300, 1e300, 10000, kNaN}, Case{-kMax, kMax, 300, kNaN},
          Case{-kInf, kInf, 300, kNaN}, Case{kNaN, 5, 200, 5}, Case{kNaN, kNaN, 200, 0},
          Case{2, 8, 0, kNaN}, Case{2, 8, kNaN, kNaN}, Case{2, 8, 1e12, kNaN}}) {
        std::ostringstream trace;
        trace << std::setprecision(17) << c.low << ".." << c.high << " in " << c.pixels;
        SCOPED_TRACE(trace.str());
        const ChartAxis axis = ValueAxis(c.low, c.high, c.pixels, 40);
        const double intervals = c.pixels >= 40 ? std::min(c.pixels / 40, 1000.0) : 1;
        ASSERT_GE(axis.ticks.size(), 2u);
        ASSERT_LE(static_cast<double>(axis.ticks.size()), intervals + 2);
        ASSERT_TRUE(std::isfinite(axis.low) && std::isfinite(axis.high) && axis.low < axis.high);
        EXPECT_EQ(axis.ticks.front().value, axis.low);
        EXPECT_EQ(axis.ticks.back().value, axis.high);
        const double step = axis.ticks[1].value - axis.ticks[0].value;
        // Covered up to rounding; figures beyond 1e300 are drawn at 1e300.
        for (double end : {c.low, c.high}) {
            if (std::isnan(end)) continue;
            end = std::clamp(end, -1e300, 1e300);
            EXPECT_LE(axis.low, end + step * 1e-9);
            EXPECT_GE(axis.high, end - step * 1e-9);
        }
        for (std::size_t i = 0; i < axis.ticks.size(); ++i) {
            const ChartTick& t = axis.ticks[i];
            if (i > 0) {
                EXPECT_NEAR(t.value - axis.ticks[i - 1].value, step, step * 1e-6);
            }
            // Short labels that say the tick's figure: never seventeen digits.
            EXPECT_LE(t.label.size(), 10u) << t.label;
            EXPECT_NEAR(std::stod(t.label), t.value, step * 1e-3) << t.label;
        }
        if (!std::isnan(c.flatAt)) {
            // Drawn as the one value it is: the same axis as that value alone, a sensible range
            // around it.
            const ChartAxis flat = ValueAxis(c.flatAt, c.flatAt, c.pixels, 40);
            ASSERT_EQ(axis.ticks.size(), flat.ticks.size());
            for (std::size_t i = 0; i < flat.ticks.size(); ++i) {
                EXPECT_EQ(axis.ticks[i].label, flat.ticks[i].label);
            }
            EXPECT_GE(axis.high - axis.low, std::max(std::fabs(c.flatAt) * 0.1, 2.0));
        }
    }
    // A flat series at a figure the list shows reads as that figure, with a round step.
    std::vector<std::string> labels;
    for (const ChartTick& t : ValueAxis(ratio, next, 254, 40).ticks) labels.push_back(t.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"0.0", "0.5", "1.0", "1.5", "2.0"}));
    labels.clear();
    for (const ChartTick& t : ValueAxis(1e16, 1e16 + 2, 300, 40).ticks) labels.push_back(t.label);
    EXPECT_EQ(labels.front(), "9.4e+15");
    EXPECT_EQ(labels.back(), "1.06e+16");
}

TEST(ChartSeries, EachPixelColumnKeepsItsFirstLowestHighestAndLastPoint) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> y(0, 300);
    std::vector<ChartPoint> points;
    for (int i = 0; i < 100000; ++i) points.push_back({10 + i * 0.005, y(random)});
    const std::vector<ChartPoint> kept = ReduceToColumns(points);
    EXPECT_LE(kept.size(), 4u * 501);
    // Only points of the series, in their order.
    std::size_t at = 0;
    for (const ChartPoint& p : kept) {
        while (at < points.size() && points[at] != p) ++at;
        ASSERT_LT(at, points.size()) << "a point not in the series, or out of order";
    }
    // Per column: the same first, last, lowest and highest.
    auto columns = [](const std::vector<ChartPoint>& series) {
        struct Column {
            ChartPoint first, last;
            double low, high;
        };
        std::map<double, Column> out;
        for (const ChartPoint& p : series) {
            auto [it, added] = out.try_emplace(std::floor(p.x), Column{p, p, p.y, p.y});
            it->second.last = p;
            it->second.low = std::min(it->second.low, p.y);
            it->second.high = std::max(it->second.high, p.y);
        }
        return out;
    };
    const auto all = columns(points), reduced = columns(kept);
    ASSERT_EQ(all.size(), reduced.size());
    for (const auto& [x, column] : all) {
        const auto& r = reduced.at(x);
        EXPECT_EQ(r.first, column.first);
        EXPECT_EQ(r.last, column.last);
        EXPECT_EQ(r.low, column.low);
        EXPECT_EQ(r.high, column.high);
    }
    // Sparse points pass unchanged.
    const std::vector<ChartPoint> sparse = {{1, 5}, {3, 2}, {3.5, 9}, {7, 1}};
    EXPECT_EQ(ReduceToColumns(sparse), sparse);
}

TEST(ChartSeries, OneOutlierAmong100000RecordsStaysInTheDrawnLine) {
    std::vector<LogbookRecord> records;
    const std::int64_t start = *DayNumber("1990-01-01");
    constexpr int kCount = 100000, kSpike = 61234, kDip = 12345;
    for (int i = 0; i < kCount; ++i) {
        // About 15 km/L, ten refuels a day; one refuel far above, one far below.
        const double km = i == kSpike ? 600 : i == kDip ? 60 : 300 + (i % 7);
        records.push_back(Refuel(start + i / 10, km, 20, 20.4));
    }
    const ChartModel model(records, false);
    ASSERT_EQ(model.Economy().size(), static_cast<std::size_t>(kCount));
    for (int width : {400, 800, 1600}) {
        const RecordingPainter p = Painted(model.Scene(ChartKind::kEconomy, width, 300));
        const ChartPolyline* line = SeriesOf(p, kEconomyColour);
        ASSERT_NE(line, nullptr);
        EXPECT_LE(line->points.size(), 4u * static_cast<std::size_t>(width));
        std::vector<double> ys;
        for (const ChartPoint& q : line->points) ys.push_back(q.y);
        std::sort(ys.begin(), ys.end());
        const double typical = ys[ys.size() / 2];
        // The spike (30 km/L) lies as far above the typical 15 as the dip (3 km/L) lies below
        // it: never pulled towards its neighbours.
        const double above = typical - ys.front(), below = ys.back() - typical;
        EXPECT_NEAR(above / below, 15.0 / 12.0, 0.05) << width;
        // Only one point lies that high, the one record.
        EXPECT_GT(ys[1] - ys.front(), above * 0.8);
    }
}

TEST(ChartModel, TheFactorStepsAtTheRecordThatChangedItAndUnknownFiguresAreLeftOut) {
    const std::int64_t d = *DayNumber("2024-01-01");
    std::vector<LogbookRecord> records = {
        Refuel(d, 300, 20, 20, 10000),     Refuel(d + 5, 310, 20, 21, 10000),
        Refuel(d + 9, 320, 20, 19, 10250), Refuel(d + 9, 330, 20, 20, 10250),
        Refuel(d + 15, 300, 20, 20, 0),    Refuel(d + 20, 300, 20, 20, 9900),
        Refuel(d + 31, 300, 20, 22, 9900),
    };
    LogbookRecord undated = Refuel(d + 12, 300, 20, 20, 12000);
    undated.isoDate.reset();
    records.insert(records.begin() + 4, undated);
    LogbookRecord noRefuel = Refuel(d + 13, 300, 0, 0, 10250);
    records.insert(records.begin() + 5, noRefuel);

    const ChartModel model(records, false);
    const std::vector<std::pair<std::int64_t, double>> factor = {{d, 100.0},     {d + 9, 100.0},
                                                                 {d + 9, 102.5}, {d + 20, 102.5},
                                                                 {d + 20, 99.0}, {d + 31, 99.0}};
    ASSERT_EQ(model.Factor().size(), factor.size());
    for (std::size_t i = 0; i < factor.size(); ++i) {
        EXPECT_EQ(model.Factor()[i].day, factor[i].first) << i;
        EXPECT_DOUBLE_EQ(model.Factor()[i].value, factor[i].second) << i;
    }
    // Seven dated refuels with figures: the undated one and the one without a refuel are left
    // out (a record without a known factor still has its economy and error).
    ASSERT_EQ(model.Economy().size(), 7u);
    ASSERT_EQ(model.Error().size(), 7u);
    EXPECT_DOUBLE_EQ(model.Economy()[1].value, 310.0 / 20);
    EXPECT_DOUBLE_EQ(model.EconomyByMeter()[1].value, 310.0 / 21);
    EXPECT_DOUBLE_EQ(model.Error()[1].value, (20.0 - 21) / 20 * 100);
    // The same from the presenter's order, and in L/100 km.
    const ChartModel fromNewest = ChartModel::FromNewestFirst(
        std::vector<LogbookRecord>(records.rbegin(), records.rend()), true);
    ASSERT_EQ(fromNewest.Economy().size(), 7u);
    EXPECT_DOUBLE_EQ(fromNewest.Economy()[1].value, 100.0 / (310.0 / 20));
    EXPECT_EQ(fromNewest.Factor().size(), factor.size());

    // Drawn, the step rises straight up at the very x of the record that brought the new factor.
    const RecordingPainter p = Painted(model.Scene(ChartKind::kError, 700, 300));
    const ChartPolyline* step = SeriesOf(p, kFactorColour);
    const ChartPolyline* error = SeriesOf(p, kEconomyColour);
    ASSERT_NE(step, nullptr);
    ASSERT_NE(error, nullptr);
    ASSERT_EQ(step->points.size(), factor.size());
    ASSERT_EQ(error->points.size(), 7u);
    EXPECT_EQ(step->points[1].x, error->points[2].x);  // the third record, d + 9
    EXPECT_EQ(step->points[2].x, error->points[2].x);
    EXPECT_GT(step->points[1].y, step->points[2].y);   // up to 102.5
    EXPECT_EQ(step->points[3].x, error->points[5].x);  // d + 20
    EXPECT_LT(step->points[3].y, step->points[4].y);   // down to 99
}

TEST(ChartScene, EverythingLiesInsideTheChartAtAnySizeAndChartsStack) {
    const std::int64_t d = *DayNumber("2015-06-01");
    std::vector<LogbookRecord> records;
    for (int i = 0; i < 300; ++i) {
        records.push_back(
            Refuel(d + i * 9, 250 + i % 40, 20 + i % 3, 19 + i % 5, 9800 + 50 * (i / 60)));
    }
    const ChartModel full(records, false), empty(std::vector<LogbookRecord>{}, true);
    for (const ChartModel* model : {&full, &empty}) {
        for (ChartKind kind : {ChartKind::kEconomy, ChartKind::kError}) {
            for (auto [w, h] : {std::pair{100, 50}, std::pair{240, 160}, std::pair{800, 320},
                                std::pair{1920, 1080}}) {
                SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
                const RecordingPainter p = Painted(model->Scene(kind, w, h));
                EXPECT_EQ(p.width, std::max(w, kMinimumChartWidth));
                EXPECT_EQ(p.height, std::max(h, kMinimumChartHeight));
                ExpectInside(p);
                const bool saysEmpty = std::any_of(p.texts.begin(), p.texts.end(), [](auto& t) {
                    return t.text == kNoChartDataText;
                });
                EXPECT_EQ(saysEmpty, model == &empty);
                EXPECT_EQ(p.polylines.size(), model == &empty ? 0u : 2u);
            }
        }
    }
    // Stacked, the second chart is the same chart moved down by the first one's height.
    const RecordingPainter both =
        Painted(full.Scene({ChartKind::kEconomy, ChartKind::kError}, 640, 300));
    const RecordingPainter alone = Painted(full.Scene(ChartKind::kError, 640, 300));
    EXPECT_EQ(both.height, 600);
    ASSERT_EQ(both.polylines.size(), 4u);
    ASSERT_EQ(both.polylines[3].points.size(), alone.polylines[1].points.size());
    for (std::size_t i = 0; i < alone.polylines[1].points.size(); ++i) {
        EXPECT_EQ(both.polylines[3].points[i].x, alone.polylines[1].points[i].x);
        EXPECT_DOUBLE_EQ(both.polylines[3].points[i].y, alone.polylines[1].points[i].y + 300);
    }
}

TEST(ChartScene, DegenerateRecordsDrawAFewTicksInsideTheChart) {
    // Figures in hundredths, as the logbook holds them: the largest an import takes in is
    // 999999999999.99.
    constexpr std::int64_t kLargest = 99999999999999;
    auto record = [](std::int64_t day, std::int64_t distance, std::int64_t refuel,
                     std::int64_t fuel, std::int64_t correction) {
        LogbookRecord r;
        r.isoDate = IsoDate(day);
        r.distance = distance;
        r.refuel = refuel;
        r.fuel = fuel;
        r.correction = correction;
        return r;
    };
    const std::int64_t d = *DayNumber("2024-05-01");
    const std::vector<std::vector<LogbookRecord>> sets = {
        // Economies one unit in the last place apart (700000.01 km on 700000.00 L, and so on).
        {record(d, 70000001, 70000000, 70000000, 10000),
         record(d + 1, 70000002, 70000001, 70000001, 10000)},
        // The same figures throughout, and a single record.
        {record(d, 30000, 2000, 2000, 10000), record(d + 30, 30000, 2000, 2000, 10000)},
        {record(d, 30000, 2000, 1990, 10000)},
        // Huge and tiny economies, errors of minus a hundred trillion percent, huge factors.
        {record(d, kLargest, 1, kLargest, kLargest), record(d + 1, 1, kLargest, 1, 1),
         record(d + 2, kLargest, kLargest - 1, 1, kLargest - 1)},
        // Nearly flat at the largest figures.
        {record(d, kLargest, 1, 1, kLargest), record(d + 1, kLargest - 1, 1, 1, kLargest - 1)},
        // Three thousand years apart on one day's figures.
        {record(*DayNumber("0001-01-01"), 100, 100, 100, 1),
         record(*DayNumber("2999-12-31"), 100, 100, 100, 1)},
    };
    for (std::size_t set = 0; set < sets.size(); ++set) {
        for (bool per100km : {false, true}) {
            const ChartModel model(sets[set], per100km);
            for (ChartKind kind : {ChartKind::kEconomy, ChartKind::kError}) {
                for (auto [w, h] : {std::pair{240, 160}, std::pair{800, 320}}) {
                    SCOPED_TRACE(std::to_string(set) + (per100km ? " L/100km " : " km/L ") +
                                 std::to_string(w) + "x" + std::to_string(h));
                    const RecordingPainter p = Painted(model.Scene(kind, w, h));
                    ExpectInside(p);
                    EXPECT_EQ(p.polylines.size(), 2u);
                    // Title, legend, and a few ticks per axis with labels of a few digits.
                    EXPECT_LE(p.texts.size(), 40u);
                    for (const ChartText& t : p.texts) {
                        if (t.text[0] == '-' || (t.text[0] >= '0' && t.text[0] <= '9')) {
                            EXPECT_LE(t.text.size(), 10u) << t.text;
                        }
                    }
                }
            }
        }
    }
}

TEST(ChartSvg, TheSvgDrawsTheSameCoordinatesAsAnyPainterAndEscapesItsTexts) {
    const std::int64_t d = *DayNumber("2020-01-01");
    std::vector<LogbookRecord> records;
    for (int i = 0; i < 5000; ++i) {
        records.push_back(Refuel(d + i / 3, 280 + (i * 37) % 90, 20, 19.5 + (i % 11) * 0.1,
                                 i < 2500 ? 10000 : 10120));
    }
    const ChartScene scene =
        ChartModel(records, false).Scene({ChartKind::kEconomy, ChartKind::kError}, 900, 280);
    const RecordingPainter p = Painted(scene);
    const std::string svg = ChartSvg(scene);

    // Every polyline's points, as the SVG holds them and as the painter was asked to draw them.
    std::vector<std::string> written;
    const std::string attribute = "points=\"";
    for (auto at = svg.find("<polyline "); at != std::string::npos;
         at = svg.find("<polyline ", at + 1)) {
        const auto begin = svg.find(attribute, at) + attribute.size();
        written.push_back(svg.substr(begin, svg.find('"', begin) - begin));
    }
    ASSERT_EQ(written.size(), p.polylines.size());
    ASSERT_EQ(written.size(), 4u);
    for (std::size_t i = 0; i < written.size(); ++i) {
        std::string asked;
        for (const ChartPoint& q : p.polylines[i].points) {
            asked += (asked.empty() ? "" : " ") + SvgNumber(q.x) + "," + SvgNumber(q.y);
            // Coordinates are whole tenths, so the SVG loses nothing.
            EXPECT_DOUBLE_EQ(std::stod(SvgNumber(q.x)), q.x);
        }
        EXPECT_EQ(written[i], asked) << i;
    }
    auto count = [&svg](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = svg.find(what); at != std::string::npos;
             at = svg.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count("<line "), p.lines.size());
    EXPECT_EQ(count("<rect "), p.rects.size());
    EXPECT_EQ(count("<text "), p.texts.size());
    EXPECT_EQ(count("</text>"), p.texts.size());
    for (const char* name : {kEconomySeriesText, kMeterSeriesText, kErrorSeriesText}) {
        EXPECT_EQ(count(std::string(">") + name + "</text>"), 1u) << name;
    }
    EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);

    // Texts are escaped; a control character cannot stand in XML.
    ChartScene odd;
    odd.width = 100;
    odd.height = 50;
    odd.items.push_back(ChartText{5, 5, "a<b & \"c\" 'd'\x01>", {}, 12});
    const std::string oddSvg = ChartSvg(odd);
    EXPECT_NE(oddSvg.find(">a&lt;b &amp; &quot;c&quot; &apos;d&apos; &gt;</text>"),
              std::string::npos)
        << oddSvg;
    struct Number {
        double value;
        const char* text;
    };
    for (const Number& n : {Number{12.0, "12"}, Number{12.5, "12.5"}, Number{-0.5, "-0.5"},
                            Number{-0.04, "0"}, Number{-3.0, "-3"}, Number{1234.56, "1234.6"}}) {
        EXPECT_EQ(SvgNumber(n.value), n.text) << n.value;
    }
}

}  // namespace
}  // namespace odomei
