// Every serial port of the machine with what stands in its way (another program, permissions, the
// system console, a driver that claimed an adapter away), and why the port the setting leads to
// cannot be opened, in words a user can act on. Toolkit-free.
//
// Two layers: the operating system's side only gathers facts (MachineFacts, PortFacts: Linux in
// platform/PortFactsLinux.cpp from sysfs, /dev and /proc; Windows in platform/win/PortFacts.cpp
// from SetupAPI and the registry), and the portable side (link/PortSurvey.cpp) judges them and
// writes every reason, in English and in Japanese. A new system only fills the facts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/PortNames.h"

namespace odomei {

enum class PortState {
    kFree,          // can be opened now
    kInUse,         // another program holds it (holder and holderPid where known)
    kNoPermission,  // the user may not open it (reason says group, mode and the fix)
    kMissing,       // the setting names a device that is not there
    kConsole,       // the system's console or a login prompt on it: never chosen, never probed
    kOtherDevice,   // a tty of another device class: never chosen, never probed by itself
    kFailed,        // a driver that failed to start (Windows: Device Manager's problem code)
};

// "free", "in use", "no permission", "missing", "console", "other device", "failed".
const char* PortStateName(PortState state);

struct SurveyedPort {
    int number = 0;          // n of the COMn this port is reached by; 0 when no number leads there
    std::string device;      // what opening it opens: /dev/ttyUSB0, \\.\COM3
    std::string stableName;  // /dev/serial/by-id/... where there is one (Linux)
    PortInfo info;           // description, manufacturer, VID:PID, serial number (PortNames.h)
    bool usb = false;        // a USB adapter: the meter search tries these
    PortState state = PortState::kFree;
    std::string holder;    // the program holding it ("" unknown)
    int holderPid = 0;     // its PID (0 unknown)
    std::string reason;    // English: why it cannot be used and what to do ("" when free)
    std::string reasonJa;  // the same in Japanese, in the program's style, for the windows
    bool current = false;  // the port the setting in use leads to
    bool fromIni = false;  // a [Ports] entry leads to it
};

struct PortSurvey {
    std::vector<SurveyedPort> ports;      // in COM number order, unnumbered ones last
    std::vector<std::string> findings;    // machine-wide causes (brltty took adapter X,
    std::vector<std::string> findingsJa;  //  ModemManager running ...), English / Japanese
};

// Where the survey looks; tests give trees of their own (fake sysfs, /dev, /proc, /usr/lib and
// /etc for udev rules).
struct SurveyRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string proc = "/proc";
    std::string usrLib = "/usr/lib";  // udev rules shipped by packages (…/udev/rules.d)
    std::string etc = "/etc";         // the administrator's udev rules (masks)
};

// Every serial port of the machine with its state; iniPath gives [Ports] and the setting in use
// (configuredNumber, the ｼﾘｱﾙﾎﾟｰﾄ番号 value) marks `current`.
PortSurvey SurveyPorts(const std::string& iniPath, int configuredNumber,
                       const SurveyRoots& roots = {});

// Why the configured port cannot be opened, or must not be (the console): the cause and its fix
// in both languages, plus the ports that could be the meter's. usable: a read could start now.
struct PortVerdict {
    bool usable = false;
    PortState state = PortState::kMissing;
    std::string device;                    // what the setting resolves to ("" nothing)
    std::string reason, reasonJa;          // "" only when usable and nothing deserves a word
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
    std::string reason, reasonJa;
};
std::optional<ConsoleRefusal> RefuseConsole(const std::string& device,
                                            const SurveyRoots& roots = {});

// ---- The seam to the operating system ----------------------------------------------------------

// The user the program runs as.
struct UserFacts {
    bool known = false;
    unsigned uid = 0;
    std::vector<unsigned> groups;  // the primary group and the supplementary ones
    std::string name;
};

// Owner and mode of a device node.
struct NodeAccess {
    bool known = false;
    unsigned mode = 0;  // permission bits (0660)
    unsigned uid = 0, gid = 0;
    std::string group;  // the group's name ("dialout"), "" unknown
};

// A process with a device open.
struct Holder {
    std::string name;  // its command name (comm)
    int pid = 0;
};

// What the system says of one device.
struct PortFacts {
    std::string device;           // as given (/dev/ttyUSB0, \\.\COM3)
    bool exists = false;          // a device node (Windows: a COM name) is there
    bool listed = false;          // the system lists it as a serial port
    bool usb = false;             // it belongs to a USB device
    bool noUart = false;          // a serial line the kernel reserved, with no UART found behind it
    std::string otherClass;       // non-empty: a tty of another kind ("a virtual terminal")
    std::string console;          // non-empty: how it is the system console ("console=ttyS0 …")
    std::vector<Holder> holders;  // processes that have it open (this one excluded)
    NodeAccess access;
    std::string failure;  // a driver that failed to start: the system's words for it
    PortInfo info;        // from the port list where it is listed
};

// A USB serial adapter that is plugged in but has no serial port (tty) of its own.
struct AdapterWithoutTty {
    std::uint16_t vendorId = 0, productId = 0;
    std::string product, manufacturer;
    std::string driver;  // the driver bound to its interface now ("" none)
};

// A udev rule of brltty's that claims an adapter.
struct BrlttyRule {
    std::string file;  // the rules file
    int line = 0;      // the line naming the adapter's VID:PID
};

// What the system says of the machine as a whole.
struct MachineFacts {
    UserFacts user;
    std::vector<std::string> consoleNames;  // tty names the kernel uses as console (ttyS0)
    std::string consoleSource;              // where that was read ("/proc/cmdline")
    std::vector<std::pair<std::string, Holder>> openTtys;  // device path -> a process holding it
    std::vector<AdapterWithoutTty> adaptersWithoutTty;
    bool brlttyInstalled = false;
    std::string brlttyRulesFile;  // its udev rules ("" none, or masked by /etc)
    int modemManagerPid = 0;      // 0: ModemManager is not running
};

// Filled by the system's side (platform/).
MachineFacts GatherMachineFacts(const SurveyRoots& roots);
PortFacts GatherPortFacts(const std::string& device, const MachineFacts& machine,
                          const SurveyRoots& roots);
// The line of brltty's rules that claims vendorId:productId, if any.
std::optional<BrlttyRule> FindBrlttyRule(const std::string& rulesFile, std::uint16_t vendorId,
                                         std::uint16_t productId);

// Whether a user (uid, groups) may open a node for reading and writing: a pure judgement of the
// facts, as the kernel makes it (root always may).
bool MayReadWrite(const NodeAccess& access, const UserFacts& user);

// The portable judgement of one port's facts.
SurveyedPort JudgePort(const PortFacts& facts, const MachineFacts& machine);

}  // namespace odomei
