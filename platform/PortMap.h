// Where the port names "COM1", "COM2", ... lead: an entry of section [Ports] in the INI file, or
// the n-th serial port of the machine as a port lister reports them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Failure.h"

namespace odomei {

struct SurveyRoots;  // where the system's facts are read (platform/PortFacts.h)

// The INI file's section that maps the port names to devices: COM1=/dev/ttyUSB0 (the convention
// Wine keeps in its registry key Ports).
inline constexpr const char* kPortsSection = "Ports";

// One serial port of the machine, as far as the system describes it.
struct PortInfo {
    std::string device;  // e.g. /dev/ttyUSB0
    std::string description;
    std::string manufacturer;
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
    std::string serialNumber;
    bool usb = false;  // the port belongs to a USB device: an adapter or modem plugged in
};

// The machine's serial ports, in any order.
class PortLister {
public:
    virtual ~PortLister() = default;
    virtual std::vector<PortInfo> SerialPorts() const = 0;
};

// The system's own list: on Linux the kernel's, read from sysfs (classDir) without opening any
// device; the devices are named in deviceDir. Tests give folders of their own.
std::unique_ptr<PortLister> SystemPortLister(const std::string& classDir = "/sys/class/tty",
                                             const std::string& deviceDir = "/dev");

// One name as the program maps it.
struct PortMapping {
    int number = 0;          // n of COMn
    std::string device;      // what opening COMn opens; empty when its [Ports] entry is unusable
    std::string problem;     // then: what is wrong with the entry
    bool fromIni = false;    // a [Ports] entry says so
    std::string stableName;  // /dev/serial/by-id/... leading to the same device, if any
    bool listed = false;     // the system lists the device ...
    PortInfo info;           // ... and says this of it
};

class PortMap {
public:
    // No INI entries and no machine ports: every name is unknown.
    PortMap() = default;
    // iniPath may be empty (no [Ports]); lister may be null (no machine ports).
    PortMap(std::string iniPath, const PortLister* lister)
        : m_iniPath(std::move(iniPath)), m_lister(lister) {}

    // The machine's serial ports in the order that numbers them: hardware UARTs (ttyS*), then USB
    // adapters (ttyUSB*), then USB modems (ttyACM*), each in numeric order.
    std::vector<PortInfo> SystemPorts() const;

    // The device for "COMn": the [Ports] entry if there is one, else the n-th machine port. An
    // entry that is there but cannot be used (empty, not CP932 text) leads nowhere, never to
    // another port: why (if given) then names the entry and what is wrong with it, for name.
    std::optional<std::string> DeviceFor(const std::string& name, Failure* why = nullptr) const;

    // What opening name opens: a device path is itself, "COMn" the device DeviceFor gives.
    // Nothing when COMn leads nowhere; why (if given) then says so: the unusable entry, or the
    // ports there are and how to name one, for name.
    std::optional<std::string> Target(const std::string& name, Failure* why = nullptr) const;

    // COM1 up to the last name that leads anywhere, each with its device.
    std::vector<PortMapping> Mappings(const std::string& byIdDir = kByIdDir) const;

    // The names as opening them leads, for a message: "Serial ports found: COM1 = /dev/ttyUSB0,
    // COM2 = /home/u/meter (from [Ports])." with every name that leads to a device that is there,
    // or a sentence saying there is none. The system's console is never among them: it is said
    // to be the console, which is never opened (as roots show it; the system's own by default).
    std::string Describe() const;
    std::string Describe(const SurveyRoots& roots) const;

    static constexpr const char* kByIdDir = "/dev/serial/by-id";

private:
    std::string m_iniPath;
    const PortLister* m_lister = nullptr;
};

// "COMn" with n >= 1 gives n; anything else nothing.
std::optional<int> ComNumber(const std::string& name);

// The name of port number n: "COMn".
std::string ComName(int n);

// The number a first start gives one of the machine's ports, and the [Ports] entry that keeps it
// there (empty where none is needed): on Linux its place in SystemPorts' order (0 for the first)
// and its name in byIdDir where it has one, else its device; on Windows its own number. A number
// outside 1 to 255 means the port has none the setting can hold.
struct PortNumberChoice {
    int number = 0;
    std::string entry;
};
PortNumberChoice FirstStartNumber(const PortInfo& port, std::size_t place,
                                  const std::string& byIdDir);

// Whether a Windows kernel name of a serial port (a value name of the registry's SERIALCOMM list)
// is one the USB serial drivers give: \Device\VCP0 (FTDI), \Device\USBSER000 (Windows' own CDC
// driver), \Device\Silabser0 (Silicon Labs); any case.
bool UsbKernelName(const std::string& name);

// A USB vendor or product id as USB writes it: four lower-case hex digits, "1a86".
std::string UsbIdHex(std::uint16_t id);
// A USB device's id, vendor and product: "1a86:7523".
std::string UsbIdText(std::uint16_t vendorId, std::uint16_t productId);
// The USB id of the device a port belongs to, or empty where the system gives none.
std::string UsbIdText(const PortInfo& info);

// The name in byIdDir that leads to the same device as device, or empty.
std::string StableNameOf(const std::string& device, const std::string& byIdDir);

}  // namespace odomei
