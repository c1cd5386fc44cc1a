// The history's two charts, once for every front end and without a toolkit: the economy by refuel
// and by the meter over the dates, and the meter's error with the correction factor in force. The
// model lays out the plot, its axes (ChartAxes.h) and the legend for a pixel size and hands back
// a scene (ChartPainter.h). Beyond one point per pixel column a series keeps each column's first,
// lowest, highest and last point, so a single outlier still shows; nothing is ever averaged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/Logbook.h"
#include "data/TextsJa.h"
#include "platform/Dates.h"  // day numbers and ISO dates, which the date axis is in
#include "ui/ChartAxes.h"
#include "ui/ChartPainter.h"

namespace odomei {

enum class ChartKind {
    kEconomy,  // economy by refuel and by the meter, in the unit chosen
    kError,    // the meter's error (%) and the correction factor in force (%), on its own axis
};

// One point of a series: a date as days since 1970-01-01, and the figure.
struct ChartDatum {
    std::int64_t day = 0;
    double value = 0;
};

// The points a polyline needs to look as all of them at one point per pixel column: each
// column's first, lowest, highest and last point, in order. points must be ordered by x.
std::vector<ChartPoint> ReduceToColumns(const std::vector<ChartPoint>& points);

class ChartModel {
public:
    // The records in the order the logbook gives them (oldest first); records without a date,
    // or without the figure, are left out of that figure's series.
    ChartModel(const std::vector<LogbookRecord>& oldestFirst, bool per100km);
    // The same from the history's records, newest first as HistoryPresenter::Shown gives them.
    static ChartModel FromNewestFirst(const std::vector<LogbookRecord>& newestFirst, bool per100km);
    // The records of a sheet chosen (their places in it, in its order), as the history holds them.
    ChartModel(const RecordSheet& sheet, const std::vector<std::uint32_t>& chosen, bool per100km);

    // The series, oldest first.
    const std::vector<ChartDatum>& Economy() const { return m_economy; }         // by refuel
    const std::vector<ChartDatum>& EconomyByMeter() const { return m_byMeter; }  // by the meter
    const std::vector<ChartDatum>& Error() const { return m_error; }             // %
    // The factor in force as a step line: a point at the first dated record, then two at each
    // record whose factor differs from the one before (old value, new value), and the last day.
    const std::vector<ChartDatum>& Factor() const { return m_factor; }  // %
    bool PerHundredKm() const { return m_per100km; }
    bool Empty(ChartKind kind) const;

    // One chart laid out in width x height pixels (at least kMinimumChartWidth/Height).
    ChartScene Scene(ChartKind kind, int width, int height) const;
    // Several charts stacked, each width x height.
    ChartScene Scene(const std::vector<ChartKind>& kinds, int width, int height) const;

private:
    std::vector<ChartDatum> m_economy;
    std::vector<ChartDatum> m_byMeter;
    std::vector<ChartDatum> m_error;
    std::vector<ChartDatum> m_factor;
    bool m_per100km = false;
};

// The smallest chart laid out; a smaller size is drawn at this one.
constexpr int kMinimumChartWidth = 240;
constexpr int kMinimumChartHeight = 160;
// The largest the command line writes.
constexpr int kMaximumChartWidth = 10000;
constexpr int kMaximumChartHeight = 10000;

// The charts' colours (their texts are in data/TextsJa.h).
constexpr ChartColour kEconomyColour{31, 119, 180};
constexpr ChartColour kMeterColour{255, 127, 14};
constexpr ChartColour kFactorColour{44, 160, 44};

}  // namespace odomei
