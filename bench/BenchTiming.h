// What every benchmark times with: a monotonic clock, milliseconds, the median of the runs, and
// the time the meter's line itself needs for a read, which the read-out goals are measured against.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace odomei::bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The runs' median and their extremes.
struct Spread {
    double median = 0, min = 0, max = 0;
};

inline Spread SpreadOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

// A figure's line: its runs' median, minimum and maximum against its goal (0: none).
inline void PrintFigure(const char* what, const Spread& s, int runs, double goalMs) {
    std::printf("%s: median %.1f ms (min %.1f, max %.1f, %d runs)", what, s.median, s.min, s.max,
                runs);
    if (goalMs > 0) std::printf(" (goal <= %.0f ms)", goalMs);
    std::printf("\n");
}

// A read on a 19200-baud line: the bytes exchanged, and the milliseconds they take at ten bits a
// byte (start, eight data bits, stop).
constexpr int kBaud = 19200;
constexpr int kBytesExchanged = 1 + 216 + 1;  // STX, the answer, ACK
constexpr double kBitsPerByte = 10.0;
constexpr double kLineMs = kBytesExchanged * kBitsPerByte * 1000.0 / kBaud;

inline void PrintLineTime() {
    std::printf("line time for %d bytes at %d baud: %.1f ms\n", kBytesExchanged, kBaud, kLineMs);
}

}  // namespace odomei::bench
