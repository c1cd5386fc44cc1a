#include "platform/Clock.h"

#include <sys/stat.h>
#include <time.h>

namespace odomei {
namespace {

std::function<LocalTime()>& ClockOverride() {
    static std::function<LocalTime()> clock;
    return clock;
}

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

}  // namespace

LocalTime GetLocalTime() {
    if (ClockOverride()) return ClockOverride()();
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FromTimespec(ts);
}

void SetClock(std::function<LocalTime()> clock) { ClockOverride() = std::move(clock); }

std::optional<LocalTime> GetFileLastWriteTime(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return FromTimespec(st.st_mtim);
}

}  // namespace odomei
