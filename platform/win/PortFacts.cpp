// The facts of the serial ports on Windows, as far as the port list knows them: the registry's COM
// names with their friendly names, and whether the system has a device behind a COM name. Windows
// has no console on a serial port, no brltty and no ModemManager.
#include <windows.h>

#include "platform/PortFacts.h"
#include "platform/win/Wide.h"

namespace odomei {
namespace {

constexpr DWORD kTargetChars = 1024;
constexpr const char* kDevicePrefix = "\\\\.\\";

// "COM3" from "\\.\COM3" or "COM3"; the name as given otherwise.
std::string DosName(const std::string& device) {
    const std::string prefix = kDevicePrefix;
    return device.rfind(prefix, 0) == 0 ? device.substr(prefix.size()) : device;
}

}  // namespace

MachineFacts GatherMachineFacts(const SurveyRoots&) {
    MachineFacts machine;
    machine.ports = SystemPortLister()->SerialPorts();
    return machine;
}

PortFacts GatherPortFacts(const std::string& device, const MachineFacts& machine,
                          const SurveyRoots&) {
    PortFacts facts;
    facts.device = device;
    const std::string name = DosName(device);
    for (const PortInfo& port : machine.ports) {
        if (_stricmp(port.device.c_str(), name.c_str()) == 0) {
            facts.listed = true;
            facts.info = port;
            facts.usb = port.vendorId.has_value();
        }
    }
    wchar_t target[kTargetChars] = {};
    facts.exists = facts.listed || QueryDosDeviceW(win::Wide(name).c_str(), target, kTargetChars);
    facts.hardware = facts.exists;
    return facts;
}

std::string ConsoleOf(const std::string&, const SurveyRoots&) { return {}; }

}  // namespace odomei
