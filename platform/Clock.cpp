#include "platform/Clock.h"

#include <time.h>

#include <cerrno>

namespace odomei {
namespace {

LocalTime FromTimespec(const timespec& ts) {
    tm t{};
    localtime_r(&ts.tv_sec, &t);
    return LocalTime{t.tm_year + 1900,
                     t.tm_mon + 1,
                     t.tm_mday,
                     t.tm_hour,
                     t.tm_min,
                     t.tm_sec,
                     static_cast<int>(ts.tv_nsec / 1000000)};
}

timespec Monotonic() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts;
}

void SleepFor(timespec t) {
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

}  // namespace

LocalTime SystemLocalTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FromTimespec(ts);
}

std::int64_t SystemMillis() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

LocalTime LocalTimeOf(std::int64_t seconds, long nanoseconds) {
    return FromTimespec(timespec{static_cast<time_t>(seconds), nanoseconds});
}

std::int64_t MonotonicMs() {
    const timespec ts = Monotonic();
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::int64_t MonotonicMicros() {
    const timespec ts = Monotonic();
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void SleepMs(int ms) { SleepFor(timespec{ms / 1000, static_cast<long>(ms % 1000) * 1000000}); }

void SleepMicros(long us) { SleepFor(timespec{us / 1000000, (us % 1000000) * 1000}); }

}  // namespace odomei
