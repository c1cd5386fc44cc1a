#include "platform/PortMap.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "platform/PortFacts.h"
#include "platform/PortNumbering.h"
#include "platform/Profile.h"

namespace odomei {
namespace {

constexpr const char* kNamePrefix = "COM";

// Sort key: kind of port, then its number; kind -1 for a name that is no serial port.
std::tuple<int, long, std::string> Order(const std::string& device) {
    const std::vector<std::string>& kinds = numbering::PortKinds();
    const std::string name = std::filesystem::path(device).filename().string();
    for (int k = 0; k < static_cast<int>(kinds.size()); ++k) {
        const std::string& prefix = kinds[static_cast<std::size_t>(k)];
        if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size() && name.size() < 12 &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return {k, std::stol(name.substr(prefix.size())), name};
        }
    }
    return {-1, 0, name};
}

// The [Ports] entries by port number, from one reading of the file. The first line for a number
// counts, as for any INI lookup; the value is nothing where it is not CP932 text.
using PortEntries = std::map<int, std::optional<std::string>>;
PortEntries ReadPortEntries(const std::string& iniPath) {
    PortEntries entries;
    if (iniPath.empty()) return entries;
    for (auto& [key, value] : ReadIniSection(kPortsSection, iniPath)) {
        if (const auto n = ComNumber(key)) entries.emplace(*n, std::move(value));
    }
    return entries;
}

// The device for COMn: its [Ports] entry if there is one, else where the system's numbering
// leads it. An unusable entry leads nowhere, and why says so.
std::optional<std::string> Resolve(int n, const PortEntries& entries,
                                   const std::vector<PortInfo>& ports, const std::string& iniPath,
                                   std::string* why) {
    const std::string key = ComName(n);
    if (const auto entry = entries.find(n); entry != entries.end()) {
        if (entry->second && !entry->second->empty()) return entry->second;
        if (why) {
            *why = "the entry " + key + " of section [Ports] in " + iniPath +
                   (entry->second ? " is empty." : " is not valid CP932 text.") +
                   " Give the device there, for example " + key + "=/dev/ttyUSB0.";
        }
        return std::nullopt;
    }
    return numbering::UnmappedDevice(n, ports);
}

}  // namespace

std::string numbering::Canonical(const std::string& path) {
    std::error_code ec;
    const auto p = std::filesystem::canonical(path, ec);
    return ec ? path : p.string();
}

std::string ComName(int n) { return kNamePrefix + std::to_string(n); }

std::optional<int> ComNumber(const std::string& name) {
    const std::string prefix = kNamePrefix;
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 4) return std::nullopt;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if ((name[i] & ~0x20) != prefix[i]) return std::nullopt;  // com1 is COM1, as on Windows
    }
    if (name[prefix.size()] == '0') return std::nullopt;  // COM01 is no name of a port
    int n = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return std::nullopt;
        n = n * 10 + (name[i] - '0');
    }
    if (n < 1) return std::nullopt;
    return n;
}

std::vector<PortInfo> PortMap::SystemPorts() const {
    std::vector<PortInfo> ports;
    if (m_lister == nullptr) return ports;
    for (PortInfo& info : m_lister->SerialPorts()) {
        if (std::get<0>(Order(info.device)) >= 0) ports.push_back(std::move(info));
    }
    std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
        return Order(a.device) < Order(b.device);
    });
    return ports;
}

std::optional<std::string> PortMap::DeviceFor(const std::string& name, Failure* why) const {
    const auto n = ComNumber(name);
    if (!n) return std::nullopt;
    const PortEntries entries = ReadPortEntries(m_iniPath);
    // The machine's list only where no entry decides and the numbering needs it.
    const bool listNeeded = !entries.count(*n) && numbering::NumberedByPlace();
    std::string problem;
    auto device = Resolve(*n, entries, listNeeded ? SystemPorts() : std::vector<PortInfo>(),
                          m_iniPath, &problem);
    if (!device && !problem.empty() && why) *why = FailureOf(name, problem);
    return device;
}

std::optional<std::string> PortMap::Target(const std::string& name, Failure* why) const {
    if (!ComNumber(name)) return name;  // a device path
    Failure problem;
    if (auto device = DeviceFor(name, &problem)) return device;
    if (why) {
        *why = !problem.Empty()
                   ? problem
                   : FailureOf(name,
                               "no device is known by this name. " + Describe() +
                                   " A line such as " + name +
                                   "=/dev/ttyUSB0 in section [Ports] of KORVANA.ini chooses one.");
    }
    return std::nullopt;
}

std::vector<PortMapping> PortMap::Mappings(const std::string& byIdDir) const {
    // The file and the machine's list are read once, however high the numbers go.
    const auto ports = SystemPorts();
    const PortEntries entries = ReadPortEntries(m_iniPath);
    std::set<int> numbers = numbering::SystemNumbers(ports);
    for (const auto& entry : entries) numbers.insert(entry.first);

    std::vector<PortMapping> mappings;
    for (const int n : numbers) {
        // Exactly what opening the name would do.
        std::string why;
        const auto device = Resolve(n, entries, ports, m_iniPath, &why);
        if (!device && why.empty()) continue;
        PortMapping m;
        m.number = n;
        m.device = device.value_or("");
        m.problem = why;
        m.fromIni = entries.count(n) != 0;
        if (device) {
            for (const PortInfo& p : ports) {
                if (numbering::SameDevice(p, *device)) {
                    m.listed = true;
                    m.info = p;
                }
            }
            m.stableName = StableNameOf(*device, byIdDir);
        }
        if (!numbering::Kept(m)) continue;
        mappings.push_back(std::move(m));
    }
    return mappings;
}

std::string PortMap::Describe() const { return Describe(SurveyRoots{}); }

std::string PortMap::Describe(const SurveyRoots& roots) const {
    std::string list, others, consoles;
    auto add = [](std::string& to, const std::string& what) {
        to += (to.empty() ? "" : ", ") + what;
    };
    for (const PortMapping& m : Mappings(roots.dev + "/serial/by-id")) {
        if (m.device.empty()) continue;  // an unusable entry: its own failure names it
        if (!ConsoleOf(m.device, roots).empty()) {
            consoles += " " + m.device + " is the system's console, which is never opened.";
            continue;
        }
        const numbering::Listed listed = numbering::ListMapping(m, roots);
        if (listed.where == numbering::Listing::kPort) add(list, listed.text);
        if (listed.where == numbering::Listing::kNotSerial) add(others, listed.text);
    }
    std::string text = list.empty() ? "No serial port was found on this computer."
                                    : "Serial ports found: " + list + ".";
    if (!others.empty()) text += " Not serial ports: " + others + ".";
    return text + consoles;
}

bool UsbKernelName(const std::string& name) {
    static const char* const prefixes[] = {"\\Device\\VCP", "\\Device\\USBSER",
                                           "\\Device\\Silabser"};
    return std::any_of(std::begin(prefixes), std::end(prefixes), [&name](const char* prefix) {
        const std::string_view p(prefix);
        return name.size() > p.size() &&
               std::equal(p.begin(), p.end(), name.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) ==
                          std::tolower(static_cast<unsigned char>(b));
               });
    });
}

std::string UsbIdHex(std::uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", id);
    return text;
}

std::string UsbIdText(std::uint16_t vendorId, std::uint16_t productId) {
    return UsbIdHex(vendorId) + ":" + UsbIdHex(productId);
}

std::string UsbIdText(const PortInfo& info) {
    if (!info.vendorId || !info.productId) return {};
    return UsbIdText(*info.vendorId, *info.productId);
}

std::string StableNameOf(const std::string& device, const std::string& byIdDir) {
    std::error_code ec;
    const std::string real = numbering::Canonical(device);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(byIdDir, ec)) {
        if (numbering::Canonical(entry.path().string()) == real)
            names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : names.front();
}

}  // namespace odomei
