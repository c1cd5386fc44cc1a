// What the operating system says of the serial ports and of the machine around them: the facts
// the port survey (link/PortSurvey.h) judges. POSIX: platform/PortFactsLinux.cpp reads sysfs, /dev
// and /proc; Windows: platform/win/PortFacts.cpp asks SetupAPI and the registry. Nothing here
// opens a device or judges what it found (platform/PortAdvice.h words what to do about it).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/PortMap.h"

namespace odomei {

// Where the survey looks; tests give trees of their own (fake sysfs, /dev, /proc, /usr/lib and
// /etc for udev rules).
struct SurveyRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string proc = "/proc";
    std::string usrLib = "/usr/lib";  // udev rules shipped by packages (…/udev/rules.d)
    std::string etc = "/etc";         // the administrator's udev rules (masks)
};

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

// What a path that should lead to a serial port is.
enum class NodeKind {
    kTerminal,   // a character device of a terminal driver: a serial line, a pseudo-terminal
    kCharacter,  // a character device of another driver (/dev/null, /dev/zero)
    kDirectory,
    kFifo,  // a named pipe
    kSocket,
    kBlock,    // a block device: a disk or a partition
    kRegular,  // a plain file
    kOther,
};

// What the system says of one device.
struct PortFacts {
    std::string device;                   // as given (/dev/ttyUSB0, \\.\COM3)
    bool exists = false;                  // a device node (Windows: a COM name) is there
    NodeKind node = NodeKind::kTerminal;  // what is there (Windows: a COM name is a port)
    bool listed = false;                  // the system lists it as a serial port
    bool usb = false;                     // it belongs to a USB device
    bool noUart = false;          // a serial line the kernel reserved, with no UART found behind it
    bool hardware = false;        // a device of the machine is behind it (no virtual terminal)
    std::string otherClass;       // non-empty: a tty of another kind ("a virtual terminal")
    std::string console;          // non-empty: how it is the system console ("console=ttyS0 …";
                                  // Windows: the COM name Wine gave a device by itself)
    std::vector<Holder> holders;  // processes that have a terminal open (this one excluded)
    NodeAccess access;
    std::string failure;        // a driver that failed to start: the system's words for it
    unsigned long problem = 0;  // or its code (Windows: Device Manager's problem code), 0 none
    PortInfo info;              // from the port list where it is listed
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
    std::vector<PortInfo> ports;  // the system's list of serial ports (PortLister)
    // tty names the kernel writes its console to (ttyS0), each with where that was read
    std::vector<std::pair<std::string, std::string>> consoles;
    std::vector<std::pair<std::string, Holder>> openTtys;  // device (real path) -> a holder
    std::vector<AdapterWithoutTty> adaptersWithoutTty;
    bool brlttyInstalled = false;
    std::vector<std::string> brlttyRulesFiles;  // its udev rules that udev reads (none masked)
    int modemManagerPid = 0;                    // 0: ModemManager is not running
    // What the system's port list says of each port it lists, where one look at the list tells
    // (Windows: SetupAPI's facts, for GatherPortFacts); Linux reads sysfs per port instead.
    std::vector<PortFacts> listed;
};

// Filled by the system's side (platform/).
MachineFacts GatherMachineFacts(const SurveyRoots& roots);
PortFacts GatherPortFacts(const std::string& device, const MachineFacts& machine,
                          const SurveyRoots& roots);
// What a path is, by itself (a COM name on Windows is a port).
NodeKind NodeKindOf(const std::string& path, const SurveyRoots& roots);
// How device is the system's console ("" it is not): a console the kernel names, or a login
// prompt on it (Windows: the COM name Wine gave a device by itself; ConsoleText words it). Looks
// at no more than it must, for the check before every open.
std::string ConsoleOf(const std::string& device, const SurveyRoots& roots);

}  // namespace odomei
