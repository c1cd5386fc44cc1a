// What every benchmark times with: a monotonic clock, milliseconds, and the median of the runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace odomei::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace odomei::bench
