#include "platform/PortNames.h"

#include <QSerialPortInfo>

#include <algorithm>
#include <tuple>

#include "platform/Profile.h"

namespace odomei {
namespace {

constexpr const char* kPortsSection = "Ports";
constexpr const char* kNamePrefix = "COM";

std::string& SettingsFile() {
    static std::string path;
    return path;
}

// Sort key: kind of port, then its number.
std::tuple<int, long, std::string> Order(const std::string& name) {
    static const char* const kinds[] = {"ttyS", "ttyUSB", "ttyACM"};
    for (int k = 0; k < 3; ++k) {
        const std::string prefix = kinds[k];
        if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size() &&
            std::all_of(name.begin() + prefix.size(), name.end(), ::isdigit)) {
            return {k, std::stol(name.substr(prefix.size())), name};
        }
    }
    return {-1, 0, name};
}

}  // namespace

void SetPortSettingsFile(std::string iniPath) { SettingsFile() = std::move(iniPath); }

std::vector<std::string> ListSerialDevices() {
    std::vector<std::string> names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const std::string name = info.portName().toStdString();
        if (std::get<0>(Order(name)) >= 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return Order(a) < Order(b); });
    for (auto& n : names) n = "/dev/" + n;
    return names;
}

std::optional<std::string> DeviceForPortName(const std::string& name) {
    if (!SettingsFile().empty()) {
        if (auto mapped = GetPrivateProfileString(kPortsSection, name, SettingsFile())) {
            if (!mapped->empty()) return mapped;
        }
    }
    if (name.rfind(kNamePrefix, 0) != 0) return std::nullopt;
    const int n = std::atoi(name.c_str() + 3);
    const auto devices = ListSerialDevices();
    if (n < 1 || n > static_cast<int>(devices.size())) return std::nullopt;
    return devices[static_cast<std::size_t>(n - 1)];
}

std::string DescribeSerialPorts() {
    const auto devices = ListSerialDevices();
    if (devices.empty()) return "No serial port was found on this computer.";
    std::string text = "Serial ports found:";
    for (std::size_t i = 0; i < devices.size(); ++i) {
        text += " COM" + std::to_string(i + 1) + " = " + devices[i] +
                (i + 1 < devices.size() ? "," : ".");
    }
    return text;
}

}  // namespace odomei
