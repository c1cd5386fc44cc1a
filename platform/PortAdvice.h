// What to do about what the system's own parts put in a port's way, worded beside the facts that
// found them: platform/PortAdviceLinux.cpp (brltty and its udev rules, ModemManager, the device
// groups), platform/win/PortAdvice.cpp (Device Manager's problem codes, Wine's own ports). The
// port survey (link/PortSurvey.h) decides each port's state and asks here for these words; every
// reason comes in English and in Japanese.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Failure.h"
#include "platform/PortFacts.h"

namespace odomei {

// The USB serial adapters left without a port, each with what to do about it.
std::vector<Reason> AdapterAdvice(const MachineFacts& machine);

// ModemManager (machine.modemManagerPid) keeps a new USB port busy: wait, or keep it away from
// the adapter info describes.
Reason ModemManagerAdvice(const MachineFacts& machine, const PortInfo& info);

// The user may not open device (MayReadWrite said no): its owner and mode, and the fix.
Reason PermissionAdvice(const std::string& device, const NodeAccess& access, const UserFacts& user);

// The words for a driver that failed to start ("" when it did not fail): the system's own.
std::string DriverFailureText(const PortFacts& facts);

// How a device is the system's console, from PortFacts::console (ConsoleOf).
std::string ConsoleText(const std::string& console);

// Linux: the line of brltty's rules that claims vendorId:productId, if any.
std::optional<BrlttyRule> FindBrlttyRule(const std::string& rulesFile, std::uint16_t vendorId,
                                         std::uint16_t productId);

}  // namespace odomei
