// The machine's serial ports as the kernel lists them under /sys/class/tty (Linux), read without
// opening any device.
#include <filesystem>
#include <fstream>

#include "platform/PortMap.h"
#include "platform/SysfsText.h"

namespace odomei {
namespace {

namespace fs = std::filesystem;

constexpr int kUsbDepth = 6;          // from a port's device up to the USB device it belongs to
constexpr const char* kNoUart = "0";  // the serial core's PORT_UNKNOWN: a line without a UART

std::string Attribute(const fs::path& dir, const char* name) { return FirstLine(dir / name); }

class SysfsPortLister final : public PortLister {
public:
    SysfsPortLister(std::string classDir, std::string deviceDir)
        : m_classDir(std::move(classDir)), m_deviceDir(std::move(deviceDir)) {}

    std::vector<PortInfo> SerialPorts() const override {
        std::vector<PortInfo> ports;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(m_classDir, ec)) {
            const fs::path tty = entry.path();
            // Virtual terminals and pseudo-terminals have no device behind them; a serial line
            // the kernel reserved but found no UART for says type 0.
            if (!fs::exists(tty / "device", ec)) continue;
            if (fs::exists(tty / "type", ec) && Attribute(tty, "type") == kNoUart) continue;
            PortInfo port;
            port.device = (fs::path(m_deviceDir) / tty.filename()).string();
            Describe(fs::canonical(tty / "device", ec), port);
            ports.push_back(std::move(port));
        }
        return ports;
    }

private:
    // A USB adapter: the attributes of the USB device the port belongs to.
    static void Describe(fs::path dir, PortInfo& port) {
        std::error_code ec;
        for (int up = 0; up < kUsbDepth && !dir.empty(); ++up, dir = dir.parent_path()) {
            if (!fs::exists(dir / "idVendor", ec)) continue;
            port.usb = true;
            port.vendorId = HexId(Attribute(dir, "idVendor"));
            port.productId = HexId(Attribute(dir, "idProduct"));
            port.manufacturer = Attribute(dir, "manufacturer");
            port.description = Attribute(dir, "product");
            port.serialNumber = Attribute(dir, "serial");
            return;
        }
    }

    std::string m_classDir;
    std::string m_deviceDir;
};

}  // namespace

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string value;
    std::getline(in, value);
    while (!value.empty() && (value.back() == '\n' || value.back() == ' ' || value.back() == '\r'))
        value.pop_back();
    return value;
}

std::optional<std::uint16_t> HexId(const std::string& text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    try {
        return static_cast<std::uint16_t>(std::stoul(text, nullptr, 16));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::unique_ptr<PortLister> SystemPortLister(const std::string& classDir,
                                             const std::string& deviceDir) {
    return std::make_unique<SysfsPortLister>(classDir, deviceDir);
}

}  // namespace odomei
