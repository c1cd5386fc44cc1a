// The first start: with no KORVANA.ini yet, the one USB serial adapter of a (fake) machine is
// chosen and written down; with none or several, COM1 as ever.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "link/FilePaths.h"
#include "link/PortSetting.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "tests/TestSupport.h"

namespace odomei {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::WriteBytes;

// A small machine: /sys/class/tty, /sys/devices, /dev and /dev/serial/by-id in one folder.
class FakeMachine {
public:
    FakeMachine() {
        fs::create_directories(Root() / "class");
        fs::create_directories(Root() / "dev/serial/by-id");
        fs::create_directories(Root() / "work");
    }
    // A port of the serial core; a UART has a type other than 0.
    void Uart(const std::string& name) {
        const fs::path device = Root() / "devices/platform/serial8250/tty" / name;
        Tty(name, device);
        WriteBytes((Root() / "class" / name / "type").string(), "4\n");
    }
    // A port of a USB device, whose attributes sit two levels above it.
    void Adapter(const std::string& name, const std::string& usbPath, const std::string& byId) {
        const fs::path usb = Root() / "devices/pci0/usb1" / usbPath;
        Tty(name, usb / (usbPath + ":1.0") / name);
        WriteBytes((usb / "idVendor").string(), "0403\n");
        WriteBytes((usb / "idProduct").string(), "6001\n");
        WriteBytes((usb / "product").string(), "FT232R USB UART\n");
        if (!byId.empty()) {
            fs::create_symlink("../../" + name, Root() / "dev/serial/by-id" / byId);
        }
    }
    std::unique_ptr<PortLister> Lister() const {
        return SystemPortLister((Root() / "class").string(), Dev(""));
    }
    std::string Dev(const std::string& name) const { return (Root() / "dev" / name).string(); }
    std::string ById() const { return Dev("serial/by-id"); }
    FilePaths Paths() const {
        FilePaths p;
        p.strCurDir = (Root() / "work").string();
        p.strIniDir = p.strLogDir = p.strCurDir + "/";
        p.strIniFile = kIniFileName;
        p.strLogFile = kLogFileName;
        return p;
    }
    std::string Ini() const { return Paths().IniPath(); }

private:
    fs::path Root() const { return m_dir.Path(); }
    void Tty(const std::string& name, const fs::path& device) {
        fs::create_directories(device);
        fs::create_directories(Root() / "class" / name);
        fs::create_directory_symlink(device, Root() / "class" / name / "device");
        WriteBytes(Dev(name), "");
    }
    test::TempDir m_dir;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(FirstStart, TheOneUsbAdapterIsWrittenDownByItsStableName) {
    FakeMachine machine;
    machine.Uart("ttyS0");
    const std::string byId = "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    machine.Adapter("ttyUSB0", "1-2", byId);
    const auto lister = machine.Lister();
    std::string note;
    // The UART is COM1, so the adapter is COM2, pinned there by its stable name.
    EXPECT_EQ(LoadPortSetting(machine.Paths(), lister.get(), &note, machine.ById()), 2);
    const std::string stable = machine.ById() + "/" + byId;
    EXPECT_EQ(ReadBytes(machine.Ini()), "[Ports]\r\nCOM2=" + stable + "\r\n" +
                                            Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=2\r\n"));
    EXPECT_TRUE(Has(note, "first start")) << note;
    EXPECT_TRUE(Has(note, machine.Dev("ttyUSB0") + " (FT232R USB UART), is COM2")) << note;
    EXPECT_TRUE(Has(note, "[Ports] COM2=" + stable)) << note;
    EXPECT_EQ(PortMap(machine.Ini(), lister.get()).DeviceFor("COM2"), stable);

    // The next start finds the file and reads it as it stands, whatever is plugged in meanwhile.
    machine.Adapter("ttyACM0", "1-3", "");
    note.clear();
    const std::string before = ReadBytes(machine.Ini());
    EXPECT_FALSE(ChooseFirstPort(machine.Paths(), lister.get(), machine.ById()).has_value());
    EXPECT_EQ(LoadPortSetting(machine.Paths(), lister.get(), &note, machine.ById()), 2);
    EXPECT_EQ(note, "");
    EXPECT_EQ(ReadBytes(machine.Ini()), before);
}

TEST(FirstStart, AnAdapterWithoutAStableNameIsWrittenDownByItsDevice) {
    FakeMachine machine;
    machine.Adapter("ttyACM0", "1-4", "");
    const auto lister = machine.Lister();
    const auto first = ChooseFirstPort(machine.Paths(), lister.get(), machine.ById());
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->chosen);
    EXPECT_EQ(first->port, 1);
    EXPECT_EQ(ReadBytes(machine.Ini()), "[Ports]\r\nCOM1=" + machine.Dev("ttyACM0") + "\r\n" +
                                            Sjis("[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=1\r\n"));
}

TEST(FirstStart, NoneOrSeveralAdaptersKeepCom1AndSaySo) {
    const struct {
        const char* what;
        int adapters;
        std::vector<std::string> said;
    } cases[] = {
        {"a UART only", 0, {"no USB serial adapter found", "COM1 is used"}},
        {"two adapters", 2, {"2 USB serial adapters found", "ttyUSB0, ", "ttyUSB1)", "COM1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeMachine machine;
        machine.Uart("ttyS0");
        for (int i = 0; i < c.adapters; ++i) {
            const std::string n = std::to_string(i);
            machine.Adapter("ttyUSB" + n, "1-" + n, "usb-adapter-" + n);
        }
        const auto lister = machine.Lister();
        // Asked alone (as the command line does), nothing is written.
        const auto first = ChooseFirstPort(machine.Paths(), lister.get(), machine.ById());
        ASSERT_TRUE(first.has_value());
        EXPECT_FALSE(first->chosen);
        EXPECT_EQ(first->port, 1);
        for (const std::string& part : c.said) EXPECT_TRUE(Has(first->why, part)) << first->why;
        EXPECT_FALSE(test::Exists(machine.Ini()));
        // The window writes COM1 as ever.
        std::string note;
        EXPECT_EQ(LoadPortSetting(machine.Paths(), lister.get(), &note, machine.ById()), 1);
        EXPECT_EQ(note, first->why);
        EXPECT_EQ(ReadBytes(machine.Ini()), ReadBytes(ODOMEI_TEST_DATA "/first_start.ini"));
    }
}

TEST(FirstStart, UsbLinesAreToldFromUartsAndWindowsKernelNames) {
    FakeMachine machine;
    machine.Uart("ttyS0");
    machine.Adapter("ttyUSB3", "2-1", "");
    const auto ports = PortMap({}, machine.Lister().get()).SystemPorts();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_FALSE(ports[0].usb);
    EXPECT_TRUE(ports[1].usb);

    for (const char* name : {"\\Device\\VCP0", "\\Device\\USBSER000", "\\device\\silabser1"}) {
        EXPECT_TRUE(UsbKernelName(name)) << name;
    }
    for (const char* name : {"\\Device\\Serial0", "\\Device\\VCP", "VCP0", "\\Device\\Vcp"}) {
        EXPECT_FALSE(UsbKernelName(name)) << name;
    }
}

}  // namespace
}  // namespace odomei
