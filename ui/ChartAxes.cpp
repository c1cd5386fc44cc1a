#include "ui/ChartAxes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/Dates.h"
#include "ui/ChartFont.h"
#include "ui/ChartModel.h"

namespace odomei {
namespace {

// At least this between date labels, in pixels.
constexpr double kDateLabelGap = 24;

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
        const double spacing = ChartTextWidth(sample, kChartLabelSize) + kDateLabelGap;
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

}  // namespace odomei
