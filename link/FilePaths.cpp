#include "link/FilePaths.h"

#include "data/Logbook.h"
#include "link/SerialPort.h"
#include "platform/Files.h"
#include "platform/Profile.h"

namespace odomei {

FilePaths DeriveFilePaths() {
    FilePaths paths;
    Failure why;
    paths.strCurDir = CurrentDirectory(&why).value_or("");
    paths.problem = why.reason.en;
    paths.strIniDir = paths.strCurDir + kPathSeparator;
    paths.strIniFile = kIniFileName;
    paths.strLogDir = paths.strCurDir + kPathSeparator;
    paths.strLogFile = kLogFileName;
    return paths;
}

std::string LogbookPath(const FilePaths& paths) {
    if (!paths.Known()) return {};
    const auto set = ReadIniString(kLogbookSection, kLogbookPathKey, paths.IniPath());
    if (set && !set->empty()) return ResolvePath(paths.strIniDir, *set);
    return paths.strCurDir + kPathSeparator + kLogbookFileName;
}

int ReadPortSetting(const FilePaths& paths, bool* fits) {
    if (fits) *fits = true;
    if (!paths.Known()) return kDefaultPort;
    return static_cast<int>(
        ReadIniInt(kPortSection, kPortKey, kDefaultPort, paths.IniPath(), fits));
}

namespace {

constexpr const char* kPortsSection = "Ports";

std::string DeviceText(const PortInfo& port) {
    return port.description.empty() ? port.device : port.device + " (" + port.description + ")";
}

}  // namespace

std::optional<FirstPort> ChooseFirstPort(const FilePaths& paths, const PortLister* lister,
                                         const std::string& byIdDir) {
    if (!paths.Known() || LookAtFile(paths.IniPath()).exists) return std::nullopt;
    const std::string start = "first start (no " + paths.IniPath() + " yet): ";
    const PortMap map({}, lister);
    const std::vector<PortInfo> ports = map.SystemPorts();
    std::vector<std::size_t> usb;  // where the USB adapters stand in the machine's order
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i].usb) usb.push_back(i);
    }
    FirstPort first;
    if (usb.empty()) {
        first.why = start + "no USB serial adapter found, so COM1 is used";
        return first;
    }
    if (usb.size() > 1) {
        std::string names;
        for (const std::size_t i : usb) names += (names.empty() ? "" : ", ") + ports[i].device;
        first.why = start + std::to_string(usb.size()) + " USB serial adapters found (" + names +
                    "), so COM1 is used; set the port number in the INI file to choose one";
        return first;
    }
    const PortInfo& port = ports[usb.front()];
#ifdef _WIN32
    // Windows names the port itself.
    (void)byIdDir;
    const int number = ComNumber(port.device).value_or(0);
    std::string entry;
#else
    // Its place in the machine's order; the [Ports] entry keeps it there when other ports come.
    const int number = static_cast<int>(usb.front()) + 1;
    const std::string stable = StableNameOf(port.device, byIdDir);
    const std::string entry = stable.empty() ? port.device : stable;
#endif
    if (number < 1 || number > kMaxPortNumber) {
        first.why = start + "the one USB serial adapter found, " + DeviceText(port) +
                    ", has no COM number from 1 to 255, so COM1 is used";
        return first;
    }
    const std::string com = ComName(number);
    // The [Ports] entry first: a port number that is read always leads where it was meant to.
    const bool written =
        (entry.empty() || WriteIniString(kPortsSection, com, entry, paths.IniPath())) &&
        WriteIniString(kPortSection, kPortKey, std::to_string(number), paths.IniPath());
    first.port = number;
    first.chosen = true;
    first.why = start + "the one USB serial adapter found, " + DeviceText(port) + ", is " + com +
                (entry.empty() ? "" : " ([Ports] " + com + "=" + entry + ")") +
                (written ? "" : "; the INI file could not be written");
    return first;
}

int LoadPortSetting(const FilePaths& paths, const PortLister* lister, std::string* note,
                    const std::string& byIdDir) {
    const auto first = ChooseFirstPort(paths, lister, byIdDir);
    if (first && note) *note = first->why;
    // A first start that could not write its choice still uses it.
    bool fits = true;
    const int port = first && first->chosen ? first->port : ReadPortSetting(paths, &fits);
    if (!paths.Known() || !fits) return port;
    WriteIniString(kPortSection, kPortKey, std::to_string(port), paths.IniPath());
    return port;
}

}  // namespace odomei
