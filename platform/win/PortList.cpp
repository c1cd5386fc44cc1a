// The serial ports Windows knows: the registry's list of COM names, with the friendly names
// that Device Manager shows where the system has them, and whether each is on USB.
#include <windows.h>
// Device installation services need windows.h first.
#include <devguid.h>
#include <setupapi.h>

#include <map>

#include "platform/PortNames.h"
#include "platform/win/Wide.h"

namespace odomei {
namespace {

using win::Narrow;

constexpr DWORD kNameChars = 256;

struct DeviceFacts {
    std::string friendly;  // "USB Serial Port (COM3)"
    bool usb = false;
};

// The bus drivers a USB serial port hangs from: Windows' own, and FTDI's, which puts a bus of its
// own between the USB device and the port.
bool UsbEnumerator(const std::wstring& name) {
    return _wcsicmp(name.c_str(), L"USB") == 0 || _wcsicmp(name.c_str(), L"FTDIBUS") == 0;
}

// COM name -> what Device Manager knows of the port, from the Ports device class.
std::map<std::string, DeviceFacts> FriendlyNames() {
    std::map<std::string, DeviceFacts> names;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        wchar_t port[kNameChars] = {};
        DWORD size = sizeof port - sizeof(wchar_t);
        DWORD type = 0;
        const bool named =
            RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ;
        RegCloseKey(key);
        if (!named) continue;
        wchar_t friendly[kNameChars] = {};
        wchar_t enumerator[kNameChars] = {};
        DeviceFacts& facts = names[Narrow(port)];
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                              reinterpret_cast<BYTE*>(friendly),
                                              sizeof friendly - sizeof(wchar_t), nullptr)) {
            facts.friendly = Narrow(friendly);
        }
        facts.usb =
            SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_ENUMERATOR_NAME, nullptr,
                                              reinterpret_cast<BYTE*>(enumerator),
                                              sizeof enumerator - sizeof(wchar_t), nullptr) &&
            UsbEnumerator(enumerator);
    }
    SetupDiDestroyDeviceInfoList(set);
    return names;
}

class RegistryPortLister final : public PortLister {
public:
    std::vector<PortInfo> SerialPorts() const override {
        std::vector<PortInfo> ports;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                          &key) != ERROR_SUCCESS) {
            return ports;
        }
        const auto friendly = FriendlyNames();
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
            PortInfo info;
            info.device = Narrow(data);  // "COM3"
            const auto f = friendly.find(info.device);
            const bool known = f != friendly.end();
            // The kernel's name of the device ("\Device\Serial0") when nothing friendlier is known.
            info.description =
                known && !f->second.friendly.empty() ? f->second.friendly : Narrow(name);
            // On USB when SetupAPI says so, or where it does not know the port, when the kernel's
            // name is one the USB serial drivers give.
            info.usb = (known && f->second.usb) || UsbKernelName(Narrow(name));
            ports.push_back(std::move(info));
        }
        RegCloseKey(key);
        return ports;
    }
};

}  // namespace

std::unique_ptr<PortLister> SystemPortLister(const std::string&, const std::string&) {
    return std::make_unique<RegistryPortLister>();
}

}  // namespace odomei
