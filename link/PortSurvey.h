// Every serial port of the machine with what stands in its way (another program, permissions, the
// system console, a driver that claimed an adapter away), and why the port the setting leads to
// cannot be opened, in words a user can act on. Toolkit-free.
//
// Three parts: the operating system's side gathers facts (platform/PortFacts.h: Linux from
// sysfs, /dev and /proc, Windows from SetupAPI and the registry), words what to do about its own
// parts beside them (platform/PortAdvice.h: brltty, ModemManager, the device groups; Device
// Manager, Wine), and the portable side here judges the facts and writes every other reason, in
// English and in Japanese.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Failure.h"
#include "platform/PortFacts.h"
#include "platform/PortMap.h"

namespace odomei {

enum class PortState {
    kFree,          // can be opened now
    kInUse,         // another program holds it (holder and holderPid where known)
    kNoPermission,  // the user may not open it (reason says group, mode and the fix)
    kMissing,       // the setting names a device that is not there
    kConsole,       // the system's console or a login prompt on it: never chosen, never probed
    kOtherDevice,   // a tty of another device class: never chosen, never probed by itself
    kFailed,        // a driver that failed to start (Windows: Device Manager's problem code)
    kNotSerial,     // no terminal at all: a folder, a named pipe, a plain file, /dev/null
};

// "free", "in use", "no permission", "missing", "console", "other device", "failed",
// "not a serial port".
const char* PortStateName(PortState state);

struct SurveyedPort {
    int number = 0;          // n of the COMn this port is reached by; 0 when no number leads there
    std::string device;      // what opening it opens: /dev/ttyUSB0, \\.\COM3
    std::string stableName;  // /dev/serial/by-id/... where there is one (Linux)
    PortInfo info;           // description, manufacturer, VID:PID, serial number (PortMap.h)
    bool usb = false;        // a USB adapter: the meter search tries these
    PortState state = PortState::kFree;
    std::string holder;  // the program holding it ("" unknown)
    int holderPid = 0;   // its PID (0 unknown)
    Reason reason;       // why it cannot be used and what to do (empty when free); the Japanese for
                         // the windows, in the program's style
    bool current = false;  // the port the setting in use leads to
    bool fromIni = false;  // a [Ports] entry leads to it
};

struct PortSurvey {
    std::vector<SurveyedPort> ports;  // in COM number order, unnumbered ones last
    std::vector<Reason> findings;     // machine-wide causes (brltty took adapter X, ModemManager
                                      // running ...)
};

// Every serial port of the machine with its state; iniPath gives [Ports], and configuredNumber
// marks `current`: the COM number the setting in use leads to (PortNumber of the ｼﾘｱﾙﾎﾟｰﾄ番号
// value), or 0 for none (a port given by its device).
PortSurvey SurveyPorts(const std::string& iniPath, int configuredNumber,
                       const SurveyRoots& roots = {});

// Why the configured port cannot be opened, or must not be (the console): the cause and its fix
// in both languages, plus the ports that could be the meter's. usable: a read could start now.
struct PortVerdict {
    bool usable = false;
    PortState state = PortState::kMissing;
    std::string device;                    // what the setting resolves to ("" nothing)
    Reason reason;                         // empty only when usable and nothing deserves a word
    std::vector<SurveyedPort> candidates;  // free USB (then free hardware) ports
};
PortVerdict DiagnosePort(int configuredNumber, const std::string& iniPath,
                         const SurveyRoots& roots = {});

// The same for a port given by name ("COMn" as [Ports] or the machine leads it, or a device
// path), as odomei-cli's --port gives it.
PortVerdict DiagnosePortName(const std::string& name, const std::string& iniPath,
                             const SurveyRoots& roots = {});

// The one check before any open: a device that is the system's console (or has a login prompt on
// it) is never opened, since bytes sent there reach the console's login or its log. Nothing when
// device may be opened; else the reason in English and Japanese.
struct ConsoleRefusal {
    Reason reason;
};
std::optional<ConsoleRefusal> RefuseConsole(const std::string& device,
                                            const SurveyRoots& roots = {});

// ---- The judgement of the system's facts (platform/PortFacts.h) ------------------------------

// Whether a user (uid, groups) may open a node for reading and writing: a pure judgement of the
// facts, as the kernel makes it (root always may).
bool MayReadWrite(const NodeAccess& access, const UserFacts& user);

// The portable judgement of one port's facts.
SurveyedPort JudgePort(const PortFacts& facts, const MachineFacts& machine);

}  // namespace odomei
