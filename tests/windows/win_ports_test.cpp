// What Windows says of its COM ports: the USB ids in device ids, the facts a machine with
// adapters gives (through the seam, since Wine's device list knows no serial ports), and the
// registry and trial opens of the test prefix (COM1 the simulator's link, COM2 to COM9 missing).
#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "link/PortSurvey.h"
#include "platform/PortFacts.h"
#include "platform/PortMap.h"
#include "platform/SerialDevice.h"
#include "platform/win/PortAdvice.h"
#include "platform/win/PortFacts.h"

namespace odomei {
namespace {

using winapi::ComPortFact;
using winapi::PortDevice;

struct IdCase {
    const char* hardwareId;
    const char* instanceId;
    int vendorId;  // -1: none
    int productId;
    const char* serialNumber;
    bool usb;
};

class DeviceIds : public ::testing::TestWithParam<IdCase> {};

TEST_P(DeviceIds, AreReadFromTheHardwareAndInstanceIds) {
    const IdCase& c = GetParam();
    const winapi::DeviceIds ids = winapi::ParseDeviceIds(c.hardwareId, c.instanceId);
    EXPECT_EQ(ids.vendorId ? int{*ids.vendorId} : -1, c.vendorId);
    EXPECT_EQ(ids.productId ? int{*ids.productId} : -1, c.productId);
    EXPECT_EQ(ids.serialNumber, c.serialNumber);
    EXPECT_EQ(ids.usb, c.usb);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, DeviceIds,
    ::testing::Values(
        // An adapter with a serial number of its own.
        IdCase{"USB\\VID_0403&PID_6001&REV_0600", "USB\\VID_0403&PID_6001\\A1B2C3", 0x0403, 0x6001,
               "A1B2C3", true},
        // Without one, Windows makes up an instance id that holds '&'.
        IdCase{"USB\\VID_067B&PID_2303&REV_0300", "USB\\VID_067B&PID_2303\\5&2F7A3C1&0&2", 0x067B,
               0x2303, "", true},
        // FTDI's bus driver: the serial number followed by the channel's letter.
        IdCase{"FTDIBUS\\COMPORT&VID_0403&PID_6015", "FTDIBUS\\VID_0403+PID_6015+DN05XYZQA\\0000",
               0x0403, 0x6015, "DN05XYZQ", true},
        // Ids in lower case, and a CDC device (one interface of a composite device).
        IdCase{"usb\\vid_2341&pid_0043&mi_00", "USB\\VID_2341&PID_0043&MI_00\\6&1A2B3C&0&0000",
               0x2341, 0x0043, "", true},
        // A motherboard's own UART and a Bluetooth link: no USB ids, no adapter.
        IdCase{"ACPI\\PNP0501", "ACPI\\PNP0501\\1", -1, -1, "", false},
        IdCase{"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002",
               "BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1C&0&0", -1, -1,
               "", false},
        // Digits that are not four hexadecimal ones are no id.
        IdCase{"USB\\VID_04G3&PID_60", "USB\\VID_04G3&PID_60\\X", -1, -1, "X", true}));

// A machine as a real Windows describes it: a hardware port, an FTDI adapter, an adapter whose
// driver did not start (code 10) and one without a driver at all, which has no COM name yet.
class ScriptedPorts : public ::testing::Test {
protected:
    void SetUp() override {
        winapi::PortSystemCalls calls;
        calls.serialComm = [] {
            return std::vector<std::pair<std::string, std::string>>{{"\\Device\\VCP0", "COM3"},
                                                                    {"\\Device\\Serial0", "COM1"}};
        };
        calls.devices = [] {
            return std::vector<PortDevice>{
                {"COM1", "通信ポート (COM1)", "通信ポート", "(標準ポート)", "ACPI\\PNP0501",
                 "ACPI\\PNP0501\\1", 0},
                {"COM3", "USB Serial Port (COM3)", "USB Serial Port", "FTDI",
                 "FTDIBUS\\COMPORT&VID_0403&PID_6001", "FTDIBUS\\VID_0403+PID_6001+A1B2C3DA\\0000",
                 0},
                {"COM5", "Prolific USB-to-Serial Comm Port (COM5)", "", "Prolific",
                 "USB\\VID_067B&PID_2303&REV_0300", "USB\\VID_067B&PID_2303\\5&1&0&1", 10},
                {"", "", "USB-Serial Controller", "", "USB\\VID_1A86&PID_7523&REV_0263",
                 "USB\\VID_1A86&PID_7523\\5&2&0&3", 28},
                {"LPT1", "プリンター ポート (LPT1)", "", "", "ACPI\\PNP0400", "ACPI\\PNP0400\\0",
                 0},
            };
        };
        calls.tryOpen = [this](const std::string& device) -> DWORD {
            m_tried.insert(device);
            if (device == "\\\\.\\COM1") return ERROR_SHARING_VIOLATION;
            if (device == "\\\\.\\COM3") return 0;
            if (device == "\\\\.\\COM4") return ERROR_GEN_FAILURE;
            return ERROR_FILE_NOT_FOUND;
        };
        calls.wineMapped = [this] { return m_wineMapped; };
        m_previous = winapi::SetPortCalls(std::move(calls));
    }
    void TearDown() override { winapi::SetPortCalls(m_previous); }

    PortFacts Gather(const std::string& device) {
        return GatherPortFacts(device, GatherMachineFacts({}), {});
    }

    std::set<std::string> m_tried;
    std::optional<std::vector<int>> m_wineMapped;  // nothing: not Wine
    winapi::PortSystemCalls m_previous;
};

TEST_F(ScriptedPorts, TheMapAndTheDeviceListMakeOnePortEachInNumberOrder) {
    const auto facts = winapi::ComPortFacts();
    ASSERT_EQ(facts.size(), 4u);
    EXPECT_EQ(facts[0].name, "COM1");
    EXPECT_EQ(facts[0].device, "\\\\.\\COM1");
    EXPECT_EQ(facts[0].info.description, "通信ポート (COM1)");
    EXPECT_FALSE(facts[0].usb);

    const ComPortFact& ftdi = facts[1];
    EXPECT_EQ(ftdi.number, 3);
    EXPECT_TRUE(ftdi.mapped && ftdi.usb);
    EXPECT_EQ(ftdi.info.device, "COM3");
    EXPECT_EQ(ftdi.info.description, "USB Serial Port (COM3)");
    EXPECT_EQ(ftdi.info.manufacturer, "FTDI");
    EXPECT_EQ(ftdi.info.vendorId, 0x0403);
    EXPECT_EQ(ftdi.info.productId, 0x6001);
    EXPECT_EQ(ftdi.info.serialNumber, "A1B2C3D");

    // A driver that failed: the device keeps its COM name, but the map has no port.
    EXPECT_EQ(facts[2].number, 5);
    EXPECT_FALSE(facts[2].mapped);
    EXPECT_EQ(facts[2].problem, 10u);
    // Without a driver there is no name, and the adapter comes last.
    EXPECT_EQ(facts[3].number, 0);
    EXPECT_EQ(facts[3].problem, 28u);
    EXPECT_EQ(facts[3].info.vendorId, 0x1A86);

    // The port list the program numbers by: COM names only, with Device Manager's names.
    const auto lister = SystemPortLister();
    const PortMap map({}, lister.get());
    const std::string described = map.Describe();
    EXPECT_NE(described.find("COM3 (USB Serial Port (COM3))"), std::string::npos) << described;
    EXPECT_EQ(described.find("LPT1"), std::string::npos) << described;
    EXPECT_EQ(winapi::ListPorts(facts), "COM1 (通信ポート (COM1)), COM3 (USB Serial Port (COM3))");
}

TEST_F(ScriptedPorts, EachPortIsTriedOnceExceptAFailedDriversAndOurOwn) {
    const PortFacts free = Gather("COM3");
    EXPECT_TRUE(free.exists && free.listed && free.usb);
    EXPECT_TRUE(free.holders.empty());
    EXPECT_TRUE(free.failure.empty());
    EXPECT_EQ(free.info.serialNumber, "A1B2C3D");

    // Another program holds it: Windows does not say which.
    const PortFacts held = Gather("\\\\.\\com1");
    EXPECT_TRUE(held.exists);
    EXPECT_EQ(held.holders.size(), 1u);

    const PortFacts failed = Gather("COM5");
    EXPECT_TRUE(failed.exists);
    EXPECT_EQ(failed.problem, 10u);
    const std::string failure = JudgePort(failed, {}).reason.en;
    EXPECT_TRUE(failure.find(winapi::ProblemText(10)) != std::string::npos ||
                failure.find(winapi::ProblemTextJa(10)) != std::string::npos)
        << failure;
    EXPECT_EQ(m_tried.count("\\\\.\\COM5"), 0u) << "a failed driver's port was opened";

    const PortFacts missing = Gather("COM7");
    EXPECT_FALSE(missing.exists || missing.listed);

    // An error that says neither "busy" nor "not there" is the driver's failure, in its words.
    const PortFacts broken = Gather("COM4");
    EXPECT_TRUE(broken.exists);
    EXPECT_NE(broken.failure.find("error 31"), std::string::npos) << broken.failure;

    EXPECT_EQ(m_tried,
              (std::set<std::string>{"\\\\.\\COM1", "\\\\.\\COM3", "\\\\.\\COM4", "\\\\.\\COM7"}));
}

// The whole survey on such a machine: one row per COM port, each with its state, and for a
// number Windows has no port for, the free adapter named as the meter's likely port.
TEST_F(ScriptedPorts, TheSurveyListsEachPortOnceWithItsState) {
    const PortSurvey survey = SurveyPorts({}, 3);
    std::vector<std::string> devices;
    for (const SurveyedPort& p : survey.ports) devices.push_back(p.device);
    ASSERT_EQ(devices, (std::vector<std::string>{"\\\\.\\COM1", "\\\\.\\COM3", "\\\\.\\COM5"}));
    EXPECT_EQ(survey.ports[0].state, PortState::kInUse);
    EXPECT_EQ(survey.ports[1].state, PortState::kFree);
    EXPECT_TRUE(survey.ports[1].current && survey.ports[1].usb);
    EXPECT_EQ(survey.ports[2].state, PortState::kFailed);
    EXPECT_NE(survey.ports[2].reason.ja.find("10"), std::string::npos) << survey.ports[2].reason.ja;

    const PortVerdict verdict = DiagnosePort(7, {});
    EXPECT_FALSE(verdict.usable);
    EXPECT_EQ(verdict.state, PortState::kMissing);
    ASSERT_EQ(verdict.candidates.size(), 1u);
    EXPECT_EQ(verdict.candidates[0].number, 3);
    EXPECT_NE(verdict.reason.en.find("USB Serial Port (COM3)"), std::string::npos)
        << verdict.reason.en;
    EXPECT_NE(verdict.reason.ja.find("USB Serial Port (COM3)"), std::string::npos)
        << verdict.reason.ja;
}

// Under Wine, the ports Wine gave the machine's own serial devices by itself are never opened:
// the first of them is /dev/ttyS0, which may be the console.
TEST_F(ScriptedPorts, UnderWineOnlyThePortsOfItsPortsKeyAreTried) {
    m_wineMapped = std::vector<int>{3};
    const auto facts = winapi::ComPortFacts();
    ASSERT_GE(facts.size(), 2u);
    EXPECT_TRUE(facts[0].wineAutomatic);
    EXPECT_FALSE(facts[1].wineAutomatic);
    const PortFacts automatic = Gather("COM1");
    EXPECT_EQ(automatic.console, "COM1");
    const std::string console = JudgePort(automatic, {}).reason.en;
    EXPECT_NE(console.find("/dev/ttyS0"), std::string::npos) << console;
    EXPECT_TRUE(automatic.holders.empty());
    EXPECT_TRUE(Gather("COM3").console.empty());
    EXPECT_EQ(m_tried, std::set<std::string>{"\\\\.\\COM3"});
}

TEST(WindowsPortProblems, DeviceManagersCodesAreSaidInBothLanguagesWithTheirNumber) {
    for (const unsigned long code : {10ul, 22ul, 28ul, 43ul, 99ul}) {
        const std::string english = winapi::ProblemText(code);
        const std::string japanese = winapi::ProblemTextJa(code);
        EXPECT_NE(english.find("code " + std::to_string(code) + ")"), std::string::npos) << english;
        EXPECT_NE(japanese.find("(コード " + std::to_string(code) + ")"), std::string::npos)
            << japanese;
    }
    EXPECT_NE(winapi::ProblemText(10), winapi::ProblemText(28));
    EXPECT_NE(winapi::ProblemTextJa(22), winapi::ProblemTextJa(43));
}

// The test prefix as it is: Wine's registry map and its Ports key. Only COM2 (a path that does
// not exist) is really opened: the link of COM1 may be stale, and COM10 is the machine's ttyS0.
TEST(WindowsPortFacts, TheRegistrysPortsExistAndOnesMappedToNothingAreMissing) {
    std::set<std::string> tried;
    winapi::PortSystemCalls calls;
    const auto system = winapi::SystemPortCalls();
    calls.tryOpen = [&](const std::string& device) -> DWORD {
        tried.insert(device);
        return device == "\\\\.\\COM2" ? system.tryOpen(device) : DWORD{ERROR_FILE_NOT_FOUND};
    };
    const winapi::PortSystemCalls previous = winapi::SetPortCalls(std::move(calls));
    const auto facts = winapi::ComPortFacts();
    std::set<int> mapped;
    for (const ComPortFact& f : facts) {
        if (f.mapped) mapped.insert(f.number);
        // The prefix's Ports key maps COM1 to COM9 and COM12; Wine gave the machine's own serial
        // devices the numbers it leaves free, /dev/ttyS0 the first of them.
        const bool keyed = f.number <= 9 || f.number == 12;
        EXPECT_EQ(f.wineAutomatic, !keyed) << f.name;
    }
    EXPECT_EQ(mapped.count(1), 1u) << "COM1 is not in HARDWARE\\DEVICEMAP\\SERIALCOMM";
    EXPECT_EQ(mapped.count(10), 1u) << "no port for the machine's own serial device";

    // COM2 leads to a path that does not exist: it opens, but has no line.
    EXPECT_EQ(winapi::TryOpenPort("\\\\.\\COM2").trial, winapi::OpenTrial::kMissing);
    EXPECT_FALSE(GatherPortFacts("COM2", GatherMachineFacts({}), {}).exists);
    EXPECT_FALSE(GatherPortFacts("COM10", GatherMachineFacts({}), {}).console.empty());
    EXPECT_EQ(tried.count("\\\\.\\COM10"), 0u);
    winapi::SetPortCalls(previous);
    // A number Windows has no port for at all.
    EXPECT_EQ(winapi::TryOpenPort("\\\\.\\COM77").trial, winapi::OpenTrial::kMissing);
}

}  // namespace
}  // namespace odomei
