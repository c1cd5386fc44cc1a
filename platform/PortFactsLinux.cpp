// The facts of the serial ports on Linux: sysfs for what the kernel knows of each tty and each USB
// device, /dev for the nodes, /proc for the processes, their open files and the kernel's command
// line, the udev rules folders for brltty. No device is opened.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/PortFacts.h"
#include "platform/SysfsText.h"

namespace odomei {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNoUart = "0";     // the serial core's PORT_UNKNOWN
constexpr int kUsbTtyDepth = 4;          // from a USB device down to its tty folder
constexpr std::size_t kMaxGroups = 256;  // more supplementary groups than anyone has
constexpr std::size_t kMaxCmdlineBytes = 8192;
constexpr const char* kModemManager = "ModemManager";
// brltty's udev rules that claim adapters: newer packages name them 90-brltty-device.rules,
// older ones 85-brltty.rules.
constexpr const char* kBrlttyRules[] = {"90-brltty-device.rules", "85-brltty.rules"};
// Under /proc: the kernel's terminal drivers with their device numbers.
constexpr const char* kTtyDrivers = "tty/drivers";
// Under /sys: every character device by its number, leading to the device it is.
constexpr const char* kCharDevices = "dev/char";

// The serial kinds the program numbers by itself (as PortMap orders them).
constexpr const char* kSerialKinds[] = {"ttyS", "ttyUSB", "ttyACM"};

// USB serial bridges sold in adapter cables: FTDI, Silicon Labs, WCH and Prolific chips.
struct UsbId {
    std::uint16_t vendor, product;
};
constexpr UsbId kSerialBridges[] = {
    {0x0403, 0x6001}, {0x0403, 0x6010}, {0x0403, 0x6011}, {0x0403, 0x6014}, {0x0403, 0x6015},
    {0x10c4, 0xea60}, {0x10c4, 0xea70}, {0x10c4, 0xea71}, {0x1a86, 0x7523}, {0x1a86, 0x7522},
    {0x1a86, 0x5523}, {0x1a86, 0x55d4}, {0x067b, 0x2303}, {0x067b, 0x23a3}, {0x0557, 0x2008},
};

// Programs that put a login prompt on a terminal.
constexpr const char* kLoginPrograms[] = {"agetty", "getty",        "mingetty", "mgetty",
                                          "login",  "serial-getty", "fbgetty",  "uugetty"};

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const auto p = fs::canonical(path, ec);
    return ec ? path : p.string();
}

bool IsDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsSerialKind(const std::string& name) {
    for (const char* kind : kSerialKinds) {
        const std::string prefix = kind;
        if (name.rfind(prefix, 0) == 0 && IsDigits(name.substr(prefix.size()))) return true;
    }
    return false;
}

bool IsLoginProgram(const std::string& comm) {
    return std::find(std::begin(kLoginPrograms), std::end(kLoginPrograms), comm) !=
           std::end(kLoginPrograms);
}

// The names the kernel command line gives its consoles ("console=ttyS0,115200n8"): the last one
// is /dev/console, every one gets the kernel's messages.
std::vector<std::string> CmdlineConsoles(const fs::path& cmdline) {
    std::ifstream in(cmdline, std::ios::binary);
    std::string text(kMaxCmdlineBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    std::vector<std::string> names;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (word == "--") break;  // what follows goes to init, not the kernel
        if (word.rfind("console=", 0) != 0) continue;
        std::string name = word.substr(std::strlen("console="));
        name = name.substr(0, name.find(','));
        if (name.rfind("/dev/", 0) == 0) name = name.substr(std::strlen("/dev/"));
        if (!name.empty()) names.push_back(name);
    }
    return names;
}

// Every console the kernel names, with where it says so.
std::vector<std::pair<std::string, std::string>> Consoles(const SurveyRoots& roots) {
    std::vector<std::pair<std::string, std::string>> consoles;
    for (const std::string& name : CmdlineConsoles(fs::path(roots.proc) / "cmdline")) {
        consoles.emplace_back(
            name, "console=" + name + " in the kernel command line (" + roots.proc + "/cmdline)");
    }
    std::istringstream active(FirstLine(fs::path(roots.sys) / "class/tty/console/active"));
    for (std::string name; active >> name;) {
        const bool known = std::any_of(consoles.begin(), consoles.end(),
                                       [&](const auto& c) { return c.first == name; });
        if (!known) {
            consoles.emplace_back(
                name, "the kernel's active console (" + roots.sys + "/class/tty/console/active)");
        }
    }
    return consoles;
}

bool OurOwnProcess(const SurveyRoots& roots, const std::string& pid) {
    return roots.proc == "/proc" && pid == std::to_string(getpid());
}

// Every process's open terminals: /proc/<pid>/fd/<n> links to the file it has open. Processes of
// other users are not readable to an ordinary user; they are simply not seen.
template <typename Visit>
void ForEachOpenDevice(const SurveyRoots& roots, Visit visit) {
    std::error_code ec;
    const std::string devPrefix = roots.dev + "/";
    for (const auto& process : fs::directory_iterator(roots.proc, ec)) {
        const std::string pid = process.path().filename().string();
        if (!IsDigits(pid) || OurOwnProcess(roots, pid)) continue;
        std::string comm;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            const std::string target = fs::read_symlink(fd.path(), linkError).string();
            if (linkError || (target.rfind("/dev/", 0) != 0 && target.rfind(devPrefix, 0) != 0))
                continue;
            if (comm.empty()) comm = FirstLine(process.path() / "comm");
            visit(target, Holder{comm, std::stoi(pid)});
        }
    }
}

int ProcessNamed(const SurveyRoots& roots, const std::string& name) {
    std::error_code ec;
    for (const auto& process : fs::directory_iterator(roots.proc, ec)) {
        const std::string pid = process.path().filename().string();
        if (IsDigits(pid) && FirstLine(process.path() / "comm") == name) return std::stoi(pid);
    }
    return 0;
}

// Whether a USB device's folder holds a tty (ttyUSB0 under an interface, or tty/ttyACM0).
bool HasTty(const fs::path& device) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(device, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it.depth() >= kUsbTtyDepth) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink(ec)) {
            it.disable_recursion_pending();  // driver, subsystem, port: other parts of the tree
            continue;
        }
        const std::string name = it->path().filename().string();
        if (name == "tty" || IsSerialKind(name)) return true;
    }
    return false;
}

// The driver bound to a USB device's first interface that has one.
std::string InterfaceDriver(const fs::path& device) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(device, ec)) {
        if (entry.path().filename().string().find(':') == std::string::npos) continue;
        std::error_code linkError;
        const auto driver = fs::read_symlink(entry.path() / "driver", linkError);
        if (!linkError) return driver.filename().string();
    }
    return {};
}

bool IsSerialBridge(std::uint16_t vendor, std::uint16_t product) {
    return std::any_of(std::begin(kSerialBridges), std::end(kSerialBridges), [&](const UsbId& id) {
        return id.vendor == vendor && id.product == product;
    });
}

std::vector<AdapterWithoutTty> AdaptersWithoutTty(const SurveyRoots& roots) {
    std::vector<AdapterWithoutTty> adapters;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(roots.sys) / "bus/usb/devices", ec)) {
        const fs::path device = Canonical(entry.path().string());
        const auto vendor = HexId(FirstLine(device / "idVendor"));
        const auto product = HexId(FirstLine(device / "idProduct"));
        if (!vendor || !product || !IsSerialBridge(*vendor, *product) || HasTty(device)) continue;
        AdapterWithoutTty adapter;
        adapter.vendorId = *vendor;
        adapter.productId = *product;
        adapter.product = FirstLine(device / "product");
        adapter.manufacturer = FirstLine(device / "manufacturer");
        adapter.driver = InterfaceDriver(device);
        adapters.push_back(std::move(adapter));
    }
    return adapters;
}

// brltty's udev rules that udev reads: as a package installs them, or the administrator's own
// copy of the same name in /etc, which udev reads instead; a link there to /dev/null, or an empty
// file, masks the package's.
std::vector<std::string> BrlttyRules(const SurveyRoots& roots, bool* installed) {
    std::error_code ec;
    const fs::path program = fs::path(roots.usrLib).parent_path() / "bin/brltty";
    *installed = fs::exists(program, ec);
    std::vector<std::string> files;
    for (const char* name : kBrlttyRules) {
        const fs::path shipped = fs::path(roots.usrLib) / "udev/rules.d" / name;
        const fs::path own = fs::path(roots.etc) / "udev/rules.d" / name;
        if (fs::exists(shipped, ec)) *installed = true;
        if (fs::is_symlink(own, ec) && fs::read_symlink(own, ec) == "/dev/null") continue;
        if (fs::exists(own, ec)) {
            const auto size = fs::file_size(own, ec);
            if (ec || size != 0) files.push_back(own.string());
        } else if (fs::exists(shipped, ec)) {
            files.push_back(shipped.string());
        }
    }
    return files;
}

UserFacts ThisUser() {
    UserFacts user;
    user.known = true;
    user.uid = getuid();
    user.groups.push_back(getgid());
    gid_t groups[kMaxGroups];
    const int n = getgroups(static_cast<int>(kMaxGroups), groups);
    for (int i = 0; i < n; ++i) user.groups.push_back(groups[i]);
    if (const passwd* pw = getpwuid(user.uid)) user.name = pw->pw_name;
    return user;
}

NodeAccess AccessOf(const struct stat& st) {
    NodeAccess access;
    access.known = true;
    access.mode = st.st_mode & 07777;
    access.uid = st.st_uid;
    access.gid = st.st_gid;
    if (const group* gr = getgrgid(st.st_gid)) access.group = gr->gr_name;
    return access;
}

// Whether a character device's number belongs to one of the kernel's terminal drivers, as
// /proc/tty/drivers lists them ("serial  /dev/ttyS  4 64-111 serial": major 4, minors 64 to
// 111). Pseudo-terminals are there too; /dev/null is not.
bool TerminalNumber(dev_t number, const SurveyRoots& roots) {
    std::ifstream in(fs::path(roots.proc) / kTtyDrivers);
    if (!in) return true;  // nothing to judge by: the open will tell
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string name, node, minors;
        unsigned driverMajor = 0;
        if (!(words >> name >> node >> driverMajor >> minors)) continue;
        const auto dash = minors.find('-');
        const std::string first = minors.substr(0, dash);
        const std::string last = dash == std::string::npos ? first : minors.substr(dash + 1);
        if (!IsDigits(first) || !IsDigits(last)) continue;
        const unsigned minorNumber = ::minor(number);
        if (::major(number) == driverMajor && minorNumber >= std::stoul(first) &&
            minorNumber <= std::stoul(last)) {
            return true;
        }
    }
    return false;
}

NodeKind KindOf(const struct stat& st, const SurveyRoots& roots) {
    if (S_ISCHR(st.st_mode))
        return TerminalNumber(st.st_rdev, roots) ? NodeKind::kTerminal : NodeKind::kCharacter;
    if (S_ISDIR(st.st_mode)) return NodeKind::kDirectory;
    if (S_ISFIFO(st.st_mode)) return NodeKind::kFifo;
    if (S_ISSOCK(st.st_mode)) return NodeKind::kSocket;
    if (S_ISBLK(st.st_mode)) return NodeKind::kBlock;
    if (S_ISREG(st.st_mode)) return NodeKind::kRegular;
    return NodeKind::kOther;
}

// The kernel's name of the tty a path leads to: the device its number names in sysfs
// (/sys/dev/char/188:0 leads to .../ttyUSB0), whatever the node is called; for a terminal sysfs
// does not list (a pseudo-terminal), the name of the node the path leads to. A path that is no
// character device names no tty ("").
std::string KernelName(const std::string& device, const SurveyRoots& roots) {
    struct stat st {};
    if (stat(device.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    std::error_code ec;
    const fs::path listed = fs::read_symlink(
        fs::path(roots.sys) / kCharDevices /
            (std::to_string(::major(st.st_rdev)) + ":" + std::to_string(::minor(st.st_rdev))),
        ec);
    if (!ec && !listed.filename().empty()) return listed.filename().string();
    return fs::path(Canonical(device)).filename().string();
}

}  // namespace

MachineFacts GatherMachineFacts(const SurveyRoots& roots) {
    MachineFacts machine;
    machine.user = ThisUser();
    machine.ports = SystemPortLister(roots.sys + "/class/tty", roots.dev)->SerialPorts();
    machine.consoles = Consoles(roots);
    ForEachOpenDevice(roots, [&](const std::string& target, const Holder& holder) {
        machine.openTtys.emplace_back(Canonical(target), holder);
        if (holder.name == kModemManager) machine.modemManagerPid = holder.pid;
    });
    if (machine.modemManagerPid == 0) machine.modemManagerPid = ProcessNamed(roots, kModemManager);
    machine.adaptersWithoutTty = AdaptersWithoutTty(roots);
    machine.brlttyRulesFiles = BrlttyRules(roots, &machine.brlttyInstalled);
    return machine;
}

PortFacts GatherPortFacts(const std::string& device, const MachineFacts& machine,
                          const SurveyRoots& roots) {
    PortFacts facts;
    facts.device = device;
    std::error_code ec;
    const std::string real = Canonical(device);
    const std::string name = KernelName(device, roots);
    struct stat st {};
    facts.exists = stat(device.c_str(), &st) == 0;
    if (facts.exists) {
        facts.access = AccessOf(st);
        facts.node = KindOf(st, roots);
    }

    for (const PortInfo& port : machine.ports) {
        if (Canonical(port.device) == real) {
            facts.listed = true;
            facts.info = port;
            facts.usb = port.vendorId.has_value();
        }
    }
    // What the kernel says of the tty. A pseudo-terminal is not in the class folder: it is what
    // it is, and no one else's (its other end is held by design).
    const fs::path tty = fs::path(roots.sys) / "class/tty" / name;
    const bool pty = real.rfind(roots.dev + "/pts/", 0) == 0;
    if (!pty && !name.empty() && fs::exists(tty, ec)) {
        facts.hardware = fs::exists(tty / "device", ec);
        if (!facts.hardware) {
            facts.otherClass = IsDigits(name.substr(std::min<std::size_t>(3, name.size()))) &&
                                       name.rfind("tty", 0) == 0
                                   ? "a virtual terminal"
                                   : "the terminal device " + name + ", not a serial line";
        } else if (name.rfind("ttyS", 0) == 0 && FirstLine(tty / "type") == kNoUart) {
            facts.noUart = true;
        } else if (!IsSerialKind(name)) {
            const std::string driver =
                fs::read_symlink(tty / "device/driver", ec).filename().string();
            facts.otherClass = "a tty of another kind (" + name +
                               (driver.empty() ? "" : ", driver " + driver) + ")";
        }
    }
    // Who holds it, for a terminal only: every process has /dev/null open.
    if (!pty && facts.node == NodeKind::kTerminal) {
        for (const auto& [target, holder] : machine.openTtys) {
            if (target == real) facts.holders.push_back(holder);
        }
    }
    // The console: as the kernel names it, or a login prompt on it.
    const std::string given = fs::path(device).filename().string();
    if (name == "console" || given == "console") facts.console = device + " is the system console";
    for (const auto& [consoleName, source] : machine.consoles) {
        if (consoleName == name || consoleName == given) facts.console = source;
    }
    for (const Holder& h : facts.holders) {
        if (facts.console.empty() && IsLoginProgram(h.name)) {
            facts.console =
                h.name + " (PID " + std::to_string(h.pid) + ") gives a login prompt on it";
        }
    }
    return facts;
}

NodeKind NodeKindOf(const std::string& path, const SurveyRoots& roots) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? KindOf(st, roots) : NodeKind::kOther;
}

std::string ConsoleOf(const std::string& device, const SurveyRoots& roots) {
    const std::string real = Canonical(device);
    const std::string name = KernelName(device, roots);
    // By the name it is given as well as the one it leads to: /dev/console names no tty.
    const std::string given = fs::path(device).filename().string();
    if (name == "console" || given == "console") return device + " is the system console";
    for (const auto& [consoleName, source] : Consoles(roots)) {
        if (consoleName == name || consoleName == given) return source;
    }
    // A login prompt only runs on a terminal the kernel has: pseudo-terminals and plain files
    // need no look at the processes.
    std::error_code ec;
    if (name.empty() || real.rfind(roots.dev + "/pts/", 0) == 0 ||
        !fs::exists(fs::path(roots.sys) / "class/tty" / name, ec)) {
        return {};
    }
    std::string found;
    ForEachOpenDevice(roots, [&](const std::string& target, const Holder& holder) {
        if (found.empty() && IsLoginProgram(holder.name) && Canonical(target) == real) {
            found = holder.name + " (PID " + std::to_string(holder.pid) +
                    ") gives a login prompt on it";
        }
    });
    return found;
}

}  // namespace odomei
