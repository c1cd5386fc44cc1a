// What Windows knows of its COM ports: the registry's map of the ports there are now, the devices
// of the Ports class with the names Device Manager shows, the state of their drivers, and whether
// a port can be opened at this moment. The device installation calls sit behind a seam, so that
// tests can give the facts a real machine has and Wine does not.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/PortMap.h"

namespace odomei::winapi {

// One device of the Ports class (or with a COM port interface), as SetupAPI and the
// configuration manager describe it.
struct PortDevice {
    std::string portName;       // "COM3", from the device's own key ("" when it has none)
    std::string friendlyName;   // "USB Serial Port (COM3)", as Device Manager shows it
    std::string description;    // the driver's description of the device
    std::string manufacturer;   // "FTDI"
    std::string hardwareId;     // the first of its hardware ids: "USB\VID_0403&PID_6001&REV_0600"
    std::string instanceId;     // "USB\VID_0403&PID_6001\A1B2C3"
    unsigned long problem = 0;  // Device Manager's problem code (0: the driver works)
};

// The system calls the port facts come from.
struct PortSystemCalls {
    // HARDWARE\DEVICEMAP\SERIALCOMM: per port there now, the kernel's device name
    // ("\Device\Serial0") and the COM name.
    std::function<std::vector<std::pair<std::string, std::string>>()> serialComm;
    // The present devices of the Ports class and of the COM port interface.
    std::function<std::vector<PortDevice>()> devices;
    // Opens the device exclusively and closes it at once, sending nothing: 0 when it could be
    // opened, else the system's error.
    std::function<DWORD(const std::string& device)> tryOpen;
    // Under Wine: the COM numbers its Ports key maps to a path of the user's choice; nothing
    // elsewhere.
    std::function<std::optional<std::vector<int>>()> wineMapped;
};

// The system's own calls.
PortSystemCalls SystemPortCalls();
// Sets the calls the facts come from (empty members: the system's) and returns the ones before.
PortSystemCalls SetPortCalls(PortSystemCalls calls);

// One COM port as far as Windows knows it.
struct ComPortFact {
    int number = 0;
    std::string name;     // "COM3"
    std::string device;   // what opening it opens: "\\.\COM3"
    PortInfo info;        // device "COM3"; the friendly name as description; ids of a USB device
    bool usb = false;     // a USB adapter
    bool mapped = false;  // the registry's map has it: the port exists now
    unsigned long problem = 0;  // the driver's problem code, when it has one
    // Under Wine, a port Wine gave a serial device of the machine by itself: the first of them
    // is /dev/ttyS0, which may be the system's console. Never opened, not even to try.
    bool wineAutomatic = false;
};

// Every COM port the map or the device list names, in number order.
std::vector<ComPortFact> ComPortFacts();

// Under Wine, whether Wine gave COMn a serial device of the machine by itself (see
// ComPortFact::wineAutomatic); never elsewhere.
bool WineAutomatic(int number);

// A trial open of one port, for the survey: never used while the program holds the port.
enum class OpenTrial {
    kOpened,   // it opened (and was closed again at once)
    kInUse,    // another program holds it
    kMissing,  // no such device
    kFailed,   // another error: error says which
};
struct OpenTrialResult {
    OpenTrial trial = OpenTrial::kFailed;
    DWORD error = 0;
};
OpenTrialResult TryOpenPort(const std::string& device);

// What a USB device's ids say: vendor and product, the serial number where the device has one.
struct DeviceIds {
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
    std::string serialNumber;
    bool usb = false;
};
DeviceIds ParseDeviceIds(const std::string& hardwareId, const std::string& instanceId);

// The devices this process has open now (as opened: "\\.\COM3"), kept by the serial line: the
// survey never tries them, for they are held by none other.
bool OpenedHere(const std::string& device);

}  // namespace odomei::winapi
