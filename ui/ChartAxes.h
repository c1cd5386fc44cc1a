// The charts' axes: the date axis under the plot and the value axes beside it, each a range and
// ticks with their labels, chosen for the pixels the axis has (the layout is ChartModel.h's).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace odomei {

// A tick of an axis: where it lies (days, or the figure) and its label.
struct ChartTick {
    double value = 0;
    std::string label;
};

// An axis's range and its ticks.
struct ChartAxis {
    double low = 0;
    double high = 1;
    std::vector<ChartTick> ticks;
};

// The date axis over first..last (days): ticks at whole days, months or years, as many as fit in
// the given pixels (labels "YYYY-MM-DD", "YYYY-MM" or "YYYY" as the step needs).
ChartAxis DateAxis(std::int64_t first, std::int64_t last, double pixels);
// A value axis covering low..high with round ticks (1, 2 or 5 times a power of ten), about one per
// minimumSpacing pixels; the range is widened to whole ticks. Figures that agree to about six
// digits get a round range around their one value; a NaN end is left out and figures beyond 1e300
// are drawn at it, so there are never more than a few ticks. Labels have the decimals the step
// needs, or a power of ten ("1.05e+16") where plain digits would run past ten characters.
ChartAxis ValueAxis(double low, double high, double pixels, double minimumSpacing = 40);

}  // namespace odomei
