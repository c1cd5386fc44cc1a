#include "platform/PortNames.h"

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "platform/Profile.h"

namespace odomei {
namespace {

constexpr const char* kPortsSection = "Ports";
constexpr const char* kNamePrefix = "COM";

// Sort key: kind of port, then its number; kind -1 for a name that is no serial port.
std::tuple<int, long, std::string> Order(const std::string& device) {
#ifdef _WIN32
    static const char* const kinds[] = {"COM"};
#else
    static const char* const kinds[] = {"ttyS", "ttyUSB", "ttyACM"};
#endif
    const std::string name = std::filesystem::path(device).filename().string();
    for (int k = 0; k < static_cast<int>(std::size(kinds)); ++k) {
        const std::string prefix = kinds[k];
        if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size() && name.size() < 12 &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return {k, std::stol(name.substr(prefix.size())), name};
        }
    }
    return {-1, 0, name};
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const auto p = std::filesystem::canonical(path, ec);
    return ec ? path : p.string();
}

}  // namespace

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

std::optional<std::string> PortMap::DeviceFor(const std::string& name, std::string* why) const {
    const auto n = ComNumber(name);
    if (!n) return std::nullopt;
    if (!m_iniPath.empty()) {
        const std::string key = kNamePrefix + std::to_string(*n);
        const auto mapped = ReadIniString(kPortsSection, key, m_iniPath);
        if (mapped && !mapped->empty()) return mapped;
        if (IniHasKey(kPortsSection, key, m_iniPath)) {
            if (why) {
                *why = "the entry " + key + " of section [Ports] in " + m_iniPath +
                       (mapped ? " is empty." : " is not valid CP932 text.") +
                       " Give the device there, for example " + key + "=/dev/ttyUSB0.";
            }
            return std::nullopt;
        }
    }
#ifdef _WIN32
    return "\\\\.\\COM" + std::to_string(*n);  // Windows' own name: any COM port it has
#else
    const auto ports = SystemPorts();
    if (*n > static_cast<int>(ports.size())) return std::nullopt;
    return ports[static_cast<std::size_t>(*n - 1)].device;
#endif
}

std::vector<PortMapping> PortMap::Mappings(const std::string& byIdDir) const {
    const auto ports = SystemPorts();
#ifdef _WIN32
    int last = 0;  // the names are the system's own, and need not follow each other
    for (const PortInfo& p : ports) last = std::max(last, ComNumber(p.device).value_or(0));
#else
    int last = static_cast<int>(ports.size());
#endif
    if (!m_iniPath.empty()) {
        for (const auto& entry : ReadIniSection(kPortsSection, m_iniPath)) {
            if (const auto n = ComNumber(entry.first)) last = std::max(last, *n);
        }
    }
    std::vector<PortMapping> mappings;
    for (int n = 1; n <= last; ++n) {
        // Exactly what opening the name would do.
        const std::string name = kNamePrefix + std::to_string(n);
        std::string why;
        const auto device = DeviceFor(name, &why);
        if (!device && why.empty()) continue;
        PortMapping m;
        m.number = n;
        m.device = device.value_or("");
        m.problem = why;
        m.fromIni = !m_iniPath.empty() && IniHasKey(kPortsSection, name, m_iniPath);
        if (device) {
#ifdef _WIN32
            auto same = [&](const PortInfo& p) { return "\\\\.\\" + p.device == *device; };
#else
            const std::string real = Canonical(*device);
            auto same = [&](const PortInfo& p) { return Canonical(p.device) == real; };
#endif
            for (const PortInfo& p : ports) {
                if (same(p)) {
                    m.listed = true;
                    m.info = p;
                }
            }
            m.stableName = StableNameOf(*device, byIdDir);
        }
#ifdef _WIN32
        if (!m.listed && !m.fromIni) continue;  // a number the system does not have
#endif
        mappings.push_back(std::move(m));
    }
    return mappings;
}

std::string PortMap::Describe() const {
    const auto ports = SystemPorts();
    if (ports.empty()) return "No serial port was found on this computer.";
    std::string text = "Serial ports found:";
    for (std::size_t i = 0; i < ports.size(); ++i) {
#ifdef _WIN32
        text += " " + ports[i].device + " (" + ports[i].description + ")";
#else
        text += " COM" + std::to_string(i + 1) + " = " + ports[i].device;
#endif
        text += i + 1 < ports.size() ? "," : ".";
    }
    return text;
}

std::string StableNameOf(const std::string& device, const std::string& byIdDir) {
    std::error_code ec;
    const std::string real = Canonical(device);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(byIdDir, ec)) {
        if (Canonical(entry.path().string()) == real) names.push_back(entry.path().string());
    }
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : names.front();
}

}  // namespace odomei
