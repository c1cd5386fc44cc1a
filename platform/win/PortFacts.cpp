#include "platform/win/PortFacts.h"

// Device installation services need windows.h first.
#include <cfgmgr32.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "platform/PortFacts.h"
#include "platform/win/Wide.h"

namespace odomei::winapi {
namespace {

constexpr DWORD kNameChars = 512;
// The interface every COM port driver registers (GUID_DEVINTERFACE_COMPORT).
constexpr GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};
// A device which does not exist was specified (ERROR_NO_SUCH_DEVICE, missing from mingw-w64's
// headers).
constexpr DWORD kErrorNoSuchDevice = 433;
// The digits of a vendor or product id in a device id ("VID_0403").
constexpr std::size_t kIdDigits = 4;

std::vector<std::pair<std::string, std::string>> ReadSerialComm() {
    std::vector<std::pair<std::string, std::string>> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[kNameChars] = {};
        wchar_t data[kNameChars] = {};
        DWORD nameChars = kNameChars - 1;
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG r = RegEnumValueW(key, i, name, &nameChars, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &dataBytes);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        ports.emplace_back(Narrow(name), Narrow(data));
    }
    RegCloseKey(key);
    return ports;
}

// A text property of a device; of a list (hardware ids), the first.
std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[kNameChars] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(text),
                                           sizeof text - 2 * sizeof(wchar_t), nullptr)) {
        return {};
    }
    return Narrow(text);
}

std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    wchar_t port[kNameChars] = {};
    DWORD size = sizeof port - sizeof(wchar_t);
    DWORD type = 0;
    const bool named = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                        reinterpret_cast<BYTE*>(port), &size) == ERROR_SUCCESS &&
                       type == REG_SZ;
    RegCloseKey(key);
    return named ? Narrow(port) : std::string();
}

void AddDevices(const GUID& guid, DWORD flags, std::vector<PortDevice>& devices,
                std::set<std::string>& seen) {
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | flags);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        PortDevice d;
        wchar_t id[kNameChars] = {};
        if (SetupDiGetDeviceInstanceIdW(set, &device, id, kNameChars - 1, nullptr)) {
            d.instanceId = Narrow(id);
        }
        if (!d.instanceId.empty() && !seen.insert(d.instanceId).second) continue;
        d.portName = PortNameOf(set, device);
        d.friendlyName = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
        d.description = DeviceProperty(set, device, SPDRP_DEVICEDESC);
        d.manufacturer = DeviceProperty(set, device, SPDRP_MFG);
        d.hardwareId = DeviceProperty(set, device, SPDRP_HARDWAREID);
        ULONG status = 0, problem = 0;
        if (CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) == CR_SUCCESS &&
            (status & DN_HAS_PROBLEM)) {
            d.problem = problem;
        }
        devices.push_back(std::move(d));
    }
    SetupDiDestroyDeviceInfoList(set);
}

std::vector<PortDevice> ListDevices() {
    std::vector<PortDevice> devices;
    std::set<std::string> seen;
    AddDevices(GUID_DEVCLASS_PORTS, 0, devices, seen);
    AddDevices(kComPortInterface, DIGCF_DEVICEINTERFACE, devices, seen);
    return devices;
}

DWORD OpenAndClose(const std::string& device) {
    HANDLE h = CreateFileW(Wide(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    // A name that leads to no serial device (under Wine: a mapping to a path that is not there)
    // opens, but has no line settings. Reading them changes nothing on the line.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const DWORD error = GetCommState(h, &dcb) ? 0 : GetLastError();
    CloseHandle(h);
    return error;
}

bool RunningOnWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::optional<std::vector<int>> ReadWinePorts() {
    if (!RunningOnWine()) return std::nullopt;
    std::vector<int> numbers;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Wine\\Ports", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return numbers;
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[kNameChars] = {};
        DWORD nameChars = kNameChars - 1;
        const LONG r = RegEnumValueW(key, i, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) continue;
        if (const auto n = ComNumber(Narrow(name))) numbers.push_back(*n);
    }
    RegCloseKey(key);
    return numbers;
}

PortSystemCalls& Calls() {
    static PortSystemCalls calls = SystemPortCalls();
    return calls;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The four hexadecimal digits after key ("VID_") in id, if there are.
std::optional<std::uint16_t> HexAfter(const std::string& id, const std::string& key) {
    const std::size_t at = id.find(key);
    if (at == std::string::npos || id.size() < at + key.size() + kIdDigits) return std::nullopt;
    const std::string digits = id.substr(at + key.size(), kIdDigits);
    if (!std::all_of(digits.begin(), digits.end(),
                     [](unsigned char c) { return std::isxdigit(c) != 0; })) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(std::stoul(digits, nullptr, 16));
}

std::vector<std::string> Split(const std::string& s, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = s.find(separator, from);
        parts.push_back(s.substr(from, at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

}  // namespace

PortSystemCalls SystemPortCalls() {
    return {ReadSerialComm, ListDevices, OpenAndClose, ReadWinePorts};
}

PortSystemCalls SetPortCalls(PortSystemCalls calls) {
    const PortSystemCalls system = SystemPortCalls();
    if (!calls.serialComm) calls.serialComm = system.serialComm;
    if (!calls.devices) calls.devices = system.devices;
    if (!calls.tryOpen) calls.tryOpen = system.tryOpen;
    if (!calls.wineMapped) calls.wineMapped = system.wineMapped;
    return std::exchange(Calls(), std::move(calls));
}

DeviceIds ParseDeviceIds(const std::string& hardwareId, const std::string& instanceId) {
    DeviceIds ids;
    const std::string hw = Upper(hardwareId);
    const std::string instance = Upper(instanceId);
    for (const std::string* id : {&hw, &instance}) {
        if (!ids.vendorId) ids.vendorId = HexAfter(*id, "VID_");
        if (!ids.productId) ids.productId = HexAfter(*id, "PID_");
    }
    const auto bus = [&](const char* name) {
        return hw.rfind(name, 0) == 0 || instance.rfind(name, 0) == 0;
    };
    // FTDI's own bus driver puts its adapters' ports under FTDIBUS; the USB modem class (CDC)
    // and the other adapters' drivers under USB.
    ids.usb = bus("USB\\") || bus("FTDIBUS\\") || (ids.vendorId && ids.productId);
    const auto parts = Split(instanceId, '\\');
    if (Upper(parts[0]) == "USB" && parts.size() == 3) {
        // USB\VID_0403&PID_6001\A1B2C3: a device without a serial number gets an id of Windows'
        // own making instead, which holds '&' (5&2f7a3c1&0&2).
        if (parts[2].find('&') == std::string::npos) ids.serialNumber = parts[2];
    } else if (Upper(parts[0]) == "FTDIBUS" && parts.size() >= 2) {
        // FTDIBUS\VID_0403+PID_6001+A1B2C3A\0000: the serial number with the channel's letter.
        const auto fields = Split(parts[1], '+');
        if (fields.size() == 3 && fields[2].size() > 1) {
            ids.serialNumber = fields[2].substr(0, fields[2].size() - 1);
        }
    }
    return ids;
}

std::vector<ComPortFact> ComPortFacts() {
    std::map<int, ComPortFact> byNumber;
    std::vector<ComPortFact> unnumbered;
    const auto fact = [&](int n) -> ComPortFact& {
        ComPortFact& f = byNumber[n];
        if (f.number == 0) {
            f.number = n;
            f.name = ComName(n);
            f.device = "\\\\.\\" + f.name;
            f.info.device = f.name;
        }
        return f;
    };
    for (const auto& [kernelName, comName] : Calls().serialComm()) {
        const auto n = ComNumber(comName);
        if (!n) continue;
        ComPortFact& f = fact(*n);
        f.mapped = true;
        // The kernel's name of the device ("\Device\Serial0") when nothing friendlier is known.
        if (f.info.description.empty()) f.info.description = kernelName;
        // Where SetupAPI does not know the port, the USB serial drivers' own kernel names tell.
        if (UsbKernelName(kernelName)) f.usb = true;
    }
    for (const PortDevice& d : Calls().devices()) {
        const auto n = ComNumber(d.portName);
        // A device without a COM name only matters when its driver failed: it may be the meter's
        // adapter, which has no port until its driver works.
        if (!n && d.problem == 0) continue;
        ComPortFact unnamed;
        ComPortFact& f = n ? fact(*n) : unnamed;
        const std::string shown = !d.friendlyName.empty() ? d.friendlyName : d.description;
        if (!shown.empty()) f.info.description = shown;
        f.info.manufacturer = d.manufacturer;
        const DeviceIds ids = ParseDeviceIds(d.hardwareId, d.instanceId);
        f.info.vendorId = ids.vendorId;
        f.info.productId = ids.productId;
        f.info.serialNumber = ids.serialNumber;
        f.usb = ids.usb;
        f.problem = d.problem;
        if (!n) unnumbered.push_back(std::move(unnamed));
    }
    if (const auto chosen = Calls().wineMapped()) {
        for (auto& [n, f] : byNumber) {
            f.wineAutomatic = std::find(chosen->begin(), chosen->end(), n) == chosen->end();
        }
    }
    std::vector<ComPortFact> facts;
    for (auto& [n, f] : byNumber) facts.push_back(std::move(f));
    for (auto& f : unnumbered) facts.push_back(std::move(f));
    return facts;
}

bool WineAutomatic(int number) {
    const auto chosen = Calls().wineMapped();
    if (!chosen || std::find(chosen->begin(), chosen->end(), number) != chosen->end()) return false;
    for (const auto& entry : Calls().serialComm()) {
        if (ComNumber(entry.second) == number) return true;
    }
    return false;
}

OpenTrialResult TryOpenPort(const std::string& device) {
    const DWORD error = Calls().tryOpen(device);
    switch (error) {
        case 0: return {OpenTrial::kOpened, 0};
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return {OpenTrial::kInUse, error};
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_INVALID_FUNCTION:  // opened, but no serial device behind the name
        case kErrorNoSuchDevice: return {OpenTrial::kMissing, error};
        default: return {OpenTrial::kFailed, error};
    }
}

}  // namespace odomei::winapi

namespace odomei {
namespace {

// "COM3" from "\\.\COM3" or "COM3"; the name as given otherwise.
std::string DosName(const std::string& device) {
    const std::string prefix = "\\\\.\\";
    return device.rfind(prefix, 0) == 0 ? device.substr(prefix.size()) : device;
}

}  // namespace

// Nothing machine-wide stands in a port's way on Windows that the ports' own facts do not say:
// no console on a serial line, no permission bits, no driver that claims adapters away.
MachineFacts GatherMachineFacts(const SurveyRoots&) {
    MachineFacts machine;
    for (const winapi::ComPortFact& f : winapi::ComPortFacts()) {
        if (f.number == 0) continue;
        machine.ports.push_back(f.info);  // as the port list gives them
        // What the device list says of the port, so that its facts need not ask again.
        PortFacts listed;
        listed.device = f.device;
        listed.listed = true;
        listed.usb = f.usb;
        listed.info = f.info;
        listed.problem = f.problem;
        if (f.wineAutomatic) listed.console = f.name;
        machine.listed.push_back(std::move(listed));
    }
    return machine;
}

PortFacts GatherPortFacts(const std::string& device, const MachineFacts& machine,
                          const SurveyRoots&) {
    PortFacts facts;
    facts.device = device;
    std::string path = device;
    if (const auto n = ComNumber(DosName(device))) {
        path = "\\\\.\\" + ComName(*n);
        for (const PortFacts& listed : machine.listed) {
            if (listed.device != path) continue;
            facts.listed = true;
            facts.usb = listed.usb;
            facts.info = listed.info;
            facts.problem = listed.problem;
            facts.console = listed.console;
        }
    }
    // A driver that failed has no port to open; one this program holds is not tried, nor one
    // that may be the console.
    if (facts.problem != 0 || !facts.console.empty() || winapi::OpenedHere(path)) {
        facts.exists = facts.hardware = true;
        return facts;
    }
    const winapi::OpenTrialResult trial = winapi::TryOpenPort(path);
    switch (trial.trial) {
        case winapi::OpenTrial::kOpened: facts.exists = true; break;
        case winapi::OpenTrial::kInUse:
            // Windows does not say who holds a port.
            facts.exists = true;
            facts.holders.push_back(Holder{});
            break;
        case winapi::OpenTrial::kMissing: facts.exists = false; break;
        case winapi::OpenTrial::kFailed:
            facts.exists = true;
            facts.failure = winapi::ErrorText(trial.error);
            break;
    }
    facts.hardware = facts.exists;
    return facts;
}

NodeKind NodeKindOf(const std::string&, const SurveyRoots&) { return NodeKind::kTerminal; }

// Under Wine, a port Wine gave a device of the machine by itself, by its COM name: the check
// before every open, from the registry alone.
std::string ConsoleOf(const std::string& device, const SurveyRoots&) {
    const std::string name = DosName(device);
    const auto n = ComNumber(name);
    if (!n) return {};
    return winapi::WineAutomatic(*n) ? ComName(*n) : std::string();
}

}  // namespace odomei
