// How COM1, COM2, ... lead to devices: the machine's ports in their order, [Ports] entries, and
// the stable names under /dev/serial/by-id.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/PortFacts.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "tests/TestSupport.h"

namespace odomei {
namespace {

class ListedPorts final : public PortLister {
public:
    explicit ListedPorts(std::vector<PortInfo> ports) : m_ports(std::move(ports)) {}
    std::vector<PortInfo> SerialPorts() const override { return m_ports; }

private:
    std::vector<PortInfo> m_ports;
};

// The same list, counting how often it is asked for.
class CountedPorts final : public PortLister {
public:
    explicit CountedPorts(const PortLister& ports) : m_ports(ports) {}
    std::vector<PortInfo> SerialPorts() const override {
        ++calls;
        return m_ports.SerialPorts();
    }
    mutable int calls = 0;

private:
    const PortLister& m_ports;
};

PortInfo Port(const std::string& device) {
    PortInfo p;
    p.device = device;
    return p;
}

// A machine of the test's own with nothing in it but the kernel command line.
struct Roots {
    explicit Roots(const std::string& cmdline) {
        test::WriteBytes(dir.File("cmdline"), cmdline);
        roots = {dir.File("sys"), dir.File("dev"), dir.Path(), dir.File("lib"), dir.File("etc")};
    }
    test::TempDir dir;
    SurveyRoots roots;
};

// In the order a system might report them, with names that are no serial port of ours.
const ListedPorts kMachine({Port("/dev/ttyUSB0"), Port("/dev/ttyS10"), Port("/dev/rfcomm0"),
                            Port("/dev/ttyACM0"), Port("/dev/ttyS2"), Port("/dev/ttyS1"),
                            Port("/dev/ttyUSBx")});

TEST(PortMap, NumbersUartsThenUsbAdaptersThenModemsEachInNumericOrder) {
    const PortMap map({}, &kMachine);
    std::vector<std::string> devices;
    for (const auto& p : map.SystemPorts()) devices.push_back(p.device);
    EXPECT_EQ(devices, (std::vector<std::string>{"/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10",
                                                 "/dev/ttyUSB0", "/dev/ttyACM0"}));
    EXPECT_EQ(map.DeviceFor("COM1"), "/dev/ttyS1");
    EXPECT_EQ(map.DeviceFor("com4"), "/dev/ttyUSB0");
    EXPECT_EQ(map.DeviceFor("COM5"), "/dev/ttyACM0");
    EXPECT_EQ(map.DeviceFor("COM6"), std::nullopt);
    for (const char* name : {"COM0", "COM", "COMx", "COM1a", "/dev/ttyS1", "LPT1"}) {
        EXPECT_EQ(map.DeviceFor(name), std::nullopt) << name;
    }
    const Roots quiet("quiet\n");
    EXPECT_EQ(map.Describe(quiet.roots),
              "Serial ports found: COM1 = /dev/ttyS1, COM2 = /dev/ttyS2, COM3 = /dev/ttyS10, "
              "COM4 = /dev/ttyUSB0, COM5 = /dev/ttyACM0.");
    EXPECT_EQ(PortMap().Describe(quiet.roots), "No serial port was found on this computer.");
    EXPECT_EQ(PortMap().DeviceFor("COM1"), std::nullopt);
}

TEST(PortMap, PortsEntriesWinAndExtendTheList) {
    test::TempDir dir;
    const std::string ini = dir.File("KORVANA.ini");
    WriteIniString(kPortsSection, "COM2", dir.File("meter"), ini);
    WriteIniString(kPortsSection, "COM8", dir.File("ttyUSB7"), ini);
    WriteIniString(kPortsSection, "LPT1", "/dev/lp0", ini);  // no COM name: ignored
    const PortMap map(ini, &kMachine);
    EXPECT_EQ(map.DeviceFor("COM2"), dir.File("meter"));
    EXPECT_EQ(map.DeviceFor("COM3"), "/dev/ttyS10");
    EXPECT_EQ(map.DeviceFor("COM8"), dir.File("ttyUSB7"));

    const auto mappings = map.Mappings(dir.File("by-id"));
    std::vector<std::string> seen;
    for (const auto& m : mappings) {
        seen.push_back(ComName(m.number) + "=" + m.device + (m.fromIni ? " ini" : "") +
                       (m.listed ? " listed" : ""));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "COM1=/dev/ttyS1 listed", "COM2=" + dir.File("meter") + " ini",
                        "COM3=/dev/ttyS10 listed", "COM4=/dev/ttyUSB0 listed",
                        "COM5=/dev/ttyACM0 listed", "COM8=" + dir.File("ttyUSB7") + " ini"}));

    // Described as opening them leads: the entries whose devices are there, among the machine's
    // ports; the console never offered, but named as what it is.
    test::WriteBytes(dir.File("meter"), "");
    const Roots console("ro console=ttyS1,115200n8\n");
    EXPECT_EQ(map.Describe(console.roots),
              "Serial ports found: COM3 = /dev/ttyS10, COM4 = /dev/ttyUSB0, COM5 = /dev/ttyACM0. "
              "Not serial ports: COM2 = " +
                  dir.File("meter") +
                  ". "
                  "/dev/ttyS1 is the system's console, which is never opened.");
    const PortMap entries(ini, nullptr);
    EXPECT_EQ(entries.Describe(console.roots),
              "No serial port was found on this computer. Not "
              "serial ports: COM2 = " +
                  dir.File("meter") + ".");
    // An entry to a terminal is a serial port however it is named.
    std::filesystem::remove(dir.File("meter"));
    ASSERT_EQ(symlink("/dev/tty", dir.File("meter").c_str()), 0);
    EXPECT_EQ(entries.Describe(console.roots),
              "Serial ports found: COM2 = " + dir.File("meter") + " (from [Ports]).");

    // However high the numbers go, the machine's list is asked for once.
    WriteIniString(kPortsSection, "COM9999", "/dev/null", ini);
    const CountedPorts counted(kMachine);
    const auto far = PortMap(ini, &counted).Mappings(dir.File("by-id"));
    EXPECT_EQ(counted.calls, 1);
    ASSERT_EQ(far.size(), mappings.size() + 1);
    EXPECT_EQ(far.back().number, 9999);
}

// A name that leads nowhere is the failure's subject, with why in English: the unusable entry, or
// the ports there are and how to name one.
TEST(PortMap, TargetSaysWhyANameLeadsNowhere) {
    test::TempDir dir;
    const std::string ini = dir.File("KORVANA.ini");
    WriteIniString(kPortsSection, "COM2", "", ini);
    const PortMap map(ini, &kMachine);
    EXPECT_EQ(map.Target(dir.File("meter")), dir.File("meter"));  // a path is itself
    Failure why;
    EXPECT_EQ(map.Target("com2", &why), std::nullopt);
    EXPECT_EQ(why.subject, "com2");
    EXPECT_EQ(why.reason.en,
              "the entry COM2 of section [Ports] in " + ini +
                  " is empty. Give the device there, for example COM2=/dev/ttyUSB0.");
    EXPECT_TRUE(why.reason.ja.empty());
    why = {};
    EXPECT_EQ(map.Target("COM9", &why), std::nullopt);
    EXPECT_EQ(why.subject, "COM9");
    EXPECT_EQ(why.reason.en.rfind("no device is known by this name. Serial ports found: ", 0), 0u)
        << why.reason.en;
    const std::string advice =
        " A line such as COM9=/dev/ttyUSB0 in section [Ports] of KORVANA.ini chooses one.";
    ASSERT_GT(why.reason.en.size(), advice.size());
    EXPECT_EQ(why.reason.en.substr(why.reason.en.size() - advice.size()), advice);
}

TEST(PortMap, StableNameIsTheByIdLinkToTheSameDevice) {
    test::TempDir dir;
    const std::string device = dir.File("ttyUSB0");
    test::WriteBytes(device, "");
    test::WriteBytes(dir.File("ttyUSB1"), "");
    std::filesystem::create_directory(dir.File("by-id"));
    const std::string adapter = dir.File("by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0");
    ASSERT_EQ(symlink("../ttyUSB0", adapter.c_str()), 0);
    ASSERT_EQ(symlink("../ttyUSB1", dir.File("by-id/usb-other-if00").c_str()), 0);
    EXPECT_EQ(StableNameOf(device, dir.File("by-id")), adapter);
    EXPECT_EQ(StableNameOf(dir.File("ttyUSB2"), dir.File("by-id")), "");
    EXPECT_EQ(StableNameOf(device, dir.File("no-such-folder")), "");

    // A [Ports] entry given by its stable name is shown with the machine's description.
    PortInfo listed = Port(device);
    listed.description = "FT232R USB UART";
    const ListedPorts machine({listed});
    WriteIniString(kPortsSection, "COM3", adapter, dir.File("KORVANA.ini"));
    const auto mappings = PortMap(dir.File("KORVANA.ini"), &machine).Mappings(dir.File("by-id"));
    ASSERT_EQ(mappings.size(), 2u);
    EXPECT_EQ(mappings[1].number, 3);
    EXPECT_EQ(mappings[1].stableName, adapter);
    ASSERT_TRUE(mappings[1].listed);
    EXPECT_EQ(mappings[1].info.description, "FT232R USB UART");
}

TEST(SysfsPorts, RealLinesWithTheirUsbDetailsAndNothingElse) {
    // A small copy of /sys: a UART, a line the kernel found no UART for, a virtual terminal and
    // a USB adapter whose details sit two levels above its port.
    test::TempDir sys;
    namespace fs = std::filesystem;
    const fs::path root = sys.Path();
    const fs::path usb = root / "devices/pci0/usb1/1-2";
    fs::create_directories(usb / "1-2:1.0/ttyUSB0");
    fs::create_directories(root / "devices/platform/serial8250/tty/ttyS0");
    fs::create_directories(root / "class");
    auto put = [](const fs::path& file, const std::string& text) {
        test::WriteBytes(file.string(), text);
    };
    put(usb / "idVendor", "0403\n");
    put(usb / "idProduct", "6001\n");
    put(usb / "manufacturer", "FTDI\n");
    put(usb / "product", "FT232R USB UART\n");
    put(usb / "serial", "A1B2C3\n");
    auto tty = [&](const std::string& name, const char* device, const char* type) {
        fs::create_directories(root / "class" / name);
        if (device) fs::create_directory_symlink(root / device, root / "class" / name / "device");
        if (type) put(root / "class" / name / "type", type);
    };
    tty("ttyS0", "devices/platform/serial8250", "4\n");
    tty("ttyS1", "devices/platform/serial8250", "0\n");
    tty("ttyS2", nullptr, nullptr);
    tty("tty1", nullptr, nullptr);
    tty("ttyUSB0", "devices/pci0/usb1/1-2/1-2:1.0/ttyUSB0", nullptr);

    const auto lister = SystemPortLister((root / "class").string(), "/dev");
    const auto ports = PortMap({}, lister.get()).SystemPorts();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].device, "/dev/ttyS0");
    EXPECT_EQ(ports[0].description, "");
    EXPECT_FALSE(ports[0].vendorId.has_value());
    EXPECT_EQ(ports[1].device, "/dev/ttyUSB0");
    EXPECT_EQ(ports[1].description, "FT232R USB UART");
    EXPECT_EQ(ports[1].manufacturer, "FTDI");
    EXPECT_EQ(ports[1].vendorId, 0x0403);
    EXPECT_EQ(ports[1].productId, 0x6001);
    EXPECT_EQ(ports[1].serialNumber, "A1B2C3");
    // A machine without that folder has no ports.
    EXPECT_TRUE(SystemPortLister(sys.File("none"), "/dev")->SerialPorts().empty());
}

}  // namespace
}  // namespace odomei
