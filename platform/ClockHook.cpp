// The clock every part of the program asks, and the hook through which tests replace it; the
// system's own clock is SystemLocalTime, one for each system.
#include "platform/Clock.h"

namespace odomei {
namespace {

std::function<LocalTime()>& ClockOverride() {
    static std::function<LocalTime()> clock;
    return clock;
}

}  // namespace

LocalTime GetLocalTime() { return ClockOverride() ? ClockOverride()() : SystemLocalTime(); }

void SetClock(std::function<LocalTime()> clock) { ClockOverride() = std::move(clock); }

}  // namespace odomei
