// Why a port cannot be used, judged from machines made in the test: sysfs, /dev and /proc trees
// with UARTs, USB adapters, processes holding ports, brltty's rules, ModemManager and the console.
// The permission judgement is a pure function of the node's and the user's facts (tests run as
// root, whom the kernel lets through everywhere).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "link/MeterSession.h"
#include "link/PortSurvey.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "tests/MeterLine.h"
#include "tests/TestSupport.h"

namespace odomei {
namespace {

namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A machine of the test's own making; its ttys' nodes are terminals of their own.
class FakeMachine {
public:
    FakeMachine() : m_terminals((Root() / "sys").string(), (Root() / "proc").string()) {
        for (const char* d : {"sys/class/tty", "sys/bus/usb/devices", "dev/serial/by-id", "proc",
                              "usr/lib/udev/rules.d", "etc/udev/rules.d"}) {
            fs::create_directories(Root() / d);
        }
        Put("proc/cmdline", "quiet\n");
    }
    fs::path Root() const { return m_dir.Path(); }
    std::string Dev(const std::string& name) const { return (Root() / "dev" / name).string(); }
    std::string Ini() const { return m_dir.File("KORVANA.ini"); }
    SurveyRoots Roots() const {
        return {(Root() / "sys").string(), (Root() / "dev").string(), (Root() / "proc").string(),
                (Root() / "usr/lib").string(), (Root() / "etc").string()};
    }
    void Put(const std::string& file, const std::string& text) const {
        fs::create_directories((Root() / file).parent_path());
        test::WriteBytes((Root() / file).string(), text);
    }

    // A line of the 8250 driver; type 0: no UART was found for it.
    void Uart(const std::string& name, const std::string& type) {
        const fs::path device = Root() / "sys/devices/platform/serial8250" / name;
        fs::create_directories(device);
        Tty(name, device);
        Put("sys/class/tty/" + name + "/type", type + "\n");
    }
    // A USB adapter at bus position port; tty "" when it has none; byId "" when udev named none.
    void Adapter(const std::string& port, const std::string& vid, const std::string& pid,
                 const std::string& product, const std::string& tty, const std::string& byId = "") {
        const fs::path usb = Root() / "sys/devices/pci0/usb1" / port;
        const fs::path interface = usb / (port + ":1.0");
        fs::create_directories(interface);
        Put("sys/devices/pci0/usb1/" + port + "/idVendor", vid + "\n");
        Put("sys/devices/pci0/usb1/" + port + "/idProduct", pid + "\n");
        Put("sys/devices/pci0/usb1/" + port + "/product", product + "\n");
        fs::create_directory_symlink(usb, Root() / "sys/bus/usb/devices" / port);
        if (tty.empty()) return;
        const fs::path ttyDir =
            tty.rfind("ttyACM", 0) == 0 ? interface / "tty" / tty : interface / tty;
        fs::create_directories(ttyDir);
        Tty(tty, ttyDir);
        if (!byId.empty()) fs::create_symlink("../../" + tty, Root() / "dev/serial/by-id" / byId);
    }
    // A tty of another driver (a Bluetooth serial link, say).
    void Other(const std::string& name) {
        const fs::path device = Root() / "sys/devices/virtual/bt" / name;
        fs::create_directories(device);
        Tty(name, device);
    }
    // A virtual terminal: a tty without a device behind it.
    void Terminal(const std::string& name) {
        fs::create_directories(Root() / "sys/class/tty" / name);
        m_terminals.Add(Dev(name), name);
    }
    // A process with these devices open (paths as its fd links show them).
    void Process(int pid, const std::string& comm, const std::vector<std::string>& open) const {
        const std::string dir = "proc/" + std::to_string(pid);
        Put(dir + "/comm", comm + "\n");
        fs::create_directories(Root() / dir / "fd");
        int fd = 3;
        for (const std::string& target : open) {
            fs::create_symlink(target, Root() / dir / "fd" / std::to_string(fd++));
        }
    }

private:
    void Tty(const std::string& name, const fs::path& device) {
        fs::create_directories(Root() / "sys/class/tty" / name);
        fs::create_directory_symlink(device, Root() / "sys/class/tty" / name / "device");
        m_terminals.Add(Dev(name), name);
    }
    test::TempDir m_dir;
    test::FakeTerminals m_terminals;
};

TEST(PortSurvey, NumbersRealPortsOnlyAndNamesAdaptersByTheirStableNames) {
    FakeMachine m;
    m.Uart("ttyS0", "4");
    m.Uart("ttyS1", "0");  // reserved by the kernel, no UART behind it
    m.Adapter("1-1", "0403", "6001", "FT232R USB UART", "ttyUSB0", "usb-FTDI_FT232R-if00-port0");
    m.Adapter("1-2", "2341", "0043", "Uno", "ttyACM0");
    m.Terminal("tty1");
    m.Other("rfcomm0");

    const PortSurvey survey = SurveyPorts(m.Ini(), 2, m.Roots());
    ASSERT_GE(survey.ports.size(), 3u);
    const std::vector<std::string> devices = {m.Dev("ttyS0"), m.Dev("ttyUSB0"), m.Dev("ttyACM0")};
    for (std::size_t i = 0; i < devices.size(); ++i) {
        SCOPED_TRACE(devices[i]);
        EXPECT_EQ(survey.ports[i].number, static_cast<int>(i + 1));
        EXPECT_EQ(survey.ports[i].device, devices[i]);
        EXPECT_EQ(survey.ports[i].state, PortState::kFree) << survey.ports[i].reason.en;
        EXPECT_EQ(survey.ports[i].current, i == 1);
        EXPECT_EQ(survey.ports[i].usb, i > 0);
    }
    EXPECT_EQ(survey.ports[1].stableName, m.Dev("serial/by-id/usb-FTDI_FT232R-if00-port0"));
    EXPECT_EQ(survey.ports[1].info.vendorId, 0x0403);
    EXPECT_EQ(survey.ports[1].info.description, "FT232R USB UART");
    EXPECT_EQ(survey.ports[2].stableName, "");
    EXPECT_TRUE(survey.findings.empty());
    // The other driver's tty comes last, with no number, and is never offered.
    ASSERT_EQ(survey.ports.size(), 4u);
    EXPECT_EQ(survey.ports[3].number, 0);
    EXPECT_EQ(survey.ports[3].device, m.Dev("rfcomm0"));
    EXPECT_EQ(survey.ports[3].state, PortState::kOtherDevice);

    // The line without a UART leads nowhere even when [Ports] names it; the virtual terminal is
    // never a serial port. Either way the free adapters are offered, USB ones first.
    WriteIniString(kPortsSection, "COM5", m.Dev("ttyS1"), m.Ini());
    WriteIniString(kPortsSection, "COM6", m.Dev("tty1"), m.Ini());
    // An entry by the adapter's stable name is that adapter, not one more port.
    WriteIniString(kPortsSection, "COM7", m.Dev("serial/by-id/usb-FTDI_FT232R-if00-port0"),
                   m.Ini());
    const PortSurvey mapped = SurveyPorts(m.Ini(), 7, m.Roots());
    ASSERT_EQ(mapped.ports.size(), 7u);
    EXPECT_EQ(mapped.ports[5].number, 7);
    EXPECT_TRUE(mapped.ports[5].current);
    EXPECT_EQ(mapped.ports[5].info.description, "FT232R USB UART");
    EXPECT_EQ(mapped.ports[6].device, m.Dev("rfcomm0"));
    const PortVerdict noUart = DiagnosePort(5, m.Ini(), m.Roots());
    EXPECT_FALSE(noUart.usable);
    EXPECT_EQ(noUart.state, PortState::kMissing);
    EXPECT_TRUE(Has(noUart.reason.en, "no serial port hardware")) << noUart.reason.en;
    ASSERT_EQ(noUart.candidates.size(), 3u);
    EXPECT_EQ(noUart.candidates[0].device, m.Dev("ttyUSB0"));
    EXPECT_EQ(noUart.candidates[2].device, m.Dev("ttyS0"));
    EXPECT_TRUE(Has(noUart.reason.en, "COM2 (" + m.Dev("ttyUSB0") + ", FT232R USB UART)"))
        << noUart.reason.en;
    const PortVerdict terminal = DiagnosePort(6, m.Ini(), m.Roots());
    EXPECT_FALSE(terminal.usable);
    EXPECT_EQ(terminal.state, PortState::kOtherDevice);
    EXPECT_TRUE(Has(terminal.reason.en, "virtual terminal")) << terminal.reason.en;

    // A number beyond every port, and an entry that names nothing.
    const PortVerdict beyond = DiagnosePort(4, m.Ini(), m.Roots());
    EXPECT_EQ(beyond.state, PortState::kMissing);
    EXPECT_EQ(beyond.device, "");
    EXPECT_TRUE(Has(beyond.reason.en, "this computer has 3 serial ports")) << beyond.reason.en;
    WriteIniString(kPortsSection, "COM1", m.Dev("ttyUSB9"), m.Ini());
    const PortVerdict unplugged = DiagnosePort(1, m.Ini(), m.Roots());
    EXPECT_FALSE(unplugged.usable);
    EXPECT_EQ(unplugged.state, PortState::kMissing);
    EXPECT_TRUE(Has(unplugged.reason.en, "COM1=" + m.Dev("ttyUSB9") + " of section [Ports]"))
        << unplugged.reason.en;
    EXPECT_TRUE(Has(unplugged.reason.ja, "[Ports]の COM1=" + m.Dev("ttyUSB9")))
        << unplugged.reason.ja;
}

TEST(PortSurvey, AnAdapterBrlttyClaimedIsNamedWithItsRuleAndTheFix) {
    FakeMachine m;
    m.Adapter("1-3", "1a86", "7523", "USB Serial", "");
    m.Adapter("1-4", "0403", "6001", "FT232R USB UART", "");
    // As newer packages ship them: the kernel's PRODUCT, in hex without leading zeros.
    m.Put("usr/lib/udev/rules.d/90-brltty-device.rules",
          "# Device: 0403:6001\n"
          "# Alva [BC6xx]\n"
          "ENV{PRODUCT}==\"403/6001/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"at,bd,bl\", "
          "GOTO=\"brltty_usb_run\"\n"
          "\n"
          "# Device: 1A86:7523\n"
          "# Baum [NLS eReader Zoomax (20 cells)]\n"
          "ENV{PRODUCT}==\"1a86/7523/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", "
          "GOTO=\"brltty_usb_run\"\n");
    const std::string rules = m.Root() / "usr/lib/udev/rules.d/90-brltty-device.rules";

    const PortSurvey survey = SurveyPorts(m.Ini(), 1, m.Roots());
    ASSERT_EQ(survey.findings.size(), 2u);
    const PortVerdict verdict = DiagnosePort(1, m.Ini(), m.Roots());
    EXPECT_FALSE(verdict.usable);
    EXPECT_EQ(verdict.state, PortState::kMissing);
    for (const std::string& part : std::vector<std::string>{
             "1a86:7523 (USB Serial)", "brltty", "sudo apt remove brltty",
             "/etc/udev/rules.d/90-brltty-device.rules", rules + ", line 7", rules + ", line 3"}) {
        EXPECT_TRUE(Has(verdict.reason.en, part)) << part << "\n" << verdict.reason.en;
    }
    EXPECT_TRUE(Has(verdict.reason.ja, rules + " の7行目")) << verdict.reason.ja;

    // Masked by the administrator, the older package's rules in the attributes' form still claim
    // the CH340; then masked as well, brltty is not what took it.
    fs::create_symlink("/dev/null", m.Root() / "etc/udev/rules.d/90-brltty-device.rules");
    m.Put("usr/lib/udev/rules.d/85-brltty.rules",
          "# Device: 1A86:7523\n"
          "ACTION==\"add\", SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"1a86\", "
          "ATTRS{idProduct}==\"7523\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", "
          "GOTO=\"brltty_usb_run\"\n");
    const PortVerdict older = DiagnosePort(1, m.Ini(), m.Roots());
    EXPECT_TRUE(Has(older.reason.en,
                    (m.Root() / "usr/lib/udev/rules.d/85-brltty.rules").string() + ", line 2"))
        << older.reason.en;
    EXPECT_TRUE(Has(older.reason.en, "/etc/udev/rules.d/85-brltty.rules")) << older.reason.en;
    m.Put("etc/udev/rules.d/85-brltty.rules", "");
    const PortVerdict masked = DiagnosePort(1, m.Ini(), m.Roots());
    EXPECT_FALSE(Has(masked.reason.en, "apt remove brltty")) << masked.reason.en;
    EXPECT_TRUE(Has(masked.reason.en, "1a86:7523")) << masked.reason.en;
    EXPECT_TRUE(Has(masked.reason.en, "driver")) << masked.reason.en;

    // An adapter with its port is no finding at all.
    FakeMachine working;
    working.Adapter("1-3", "1a86", "7523", "USB Serial", "ttyUSB0");
    working.Put("usr/lib/udev/rules.d/85-brltty.rules", "");
    EXPECT_TRUE(SurveyPorts(working.Ini(), 1, working.Roots()).findings.empty());
}

TEST(PortSurvey, HoldersAreNamedAndModemManagerGetsItsIgnoreRule) {
    FakeMachine m;
    m.Adapter("1-1", "0403", "6001", "FT232R USB UART", "ttyUSB0");
    m.Adapter("1-2", "10c4", "ea60", "CP2102", "ttyUSB1");
    m.Process(4242, "minicom", {"/dev/null", m.Dev("ttyUSB0")});

    const PortVerdict held = DiagnosePort(1, m.Ini(), m.Roots());
    EXPECT_FALSE(held.usable);
    EXPECT_EQ(held.state, PortState::kInUse);
    EXPECT_TRUE(Has(held.reason.en, "minicom (PID 4242)")) << held.reason.en;
    EXPECT_TRUE(Has(held.reason.ja, "使用中")) << held.reason.ja;
    ASSERT_EQ(held.candidates.size(), 1u);
    EXPECT_EQ(held.candidates[0].device, m.Dev("ttyUSB1"));
    const PortSurvey survey = SurveyPorts(m.Ini(), 1, m.Roots());
    EXPECT_EQ(survey.ports[0].holder, "minicom");
    EXPECT_EQ(survey.ports[0].holderPid, 4242);
    EXPECT_EQ(survey.ports[1].state, PortState::kFree);

    // ModemManager running: a free adapter can still be read, with a word on the rule; the one
    // it holds is busy, with the same rule.
    m.Process(321, "ModemManager", {m.Dev("ttyUSB1")});
    const PortVerdict probed = DiagnosePort(2, m.Ini(), m.Roots());
    EXPECT_FALSE(probed.usable);
    EXPECT_EQ(probed.state, PortState::kInUse);
    for (const char* part : {"ModemManager (PID 321)", "ATTRS{idVendor}==\"10c4\"",
                             "ATTRS{idProduct}==\"ea60\"", "ENV{ID_MM_DEVICE_IGNORE}=\"1\""}) {
        EXPECT_TRUE(Has(probed.reason.en, part)) << part << "\n" << probed.reason.en;
    }
    fs::remove_all(m.Root() / "proc/4242");
    const PortVerdict free = DiagnosePort(1, m.Ini(), m.Roots());
    EXPECT_TRUE(free.usable) << free.reason.en;
    EXPECT_TRUE(Has(free.reason.en, "ATTRS{idVendor}==\"0403\"")) << free.reason.en;
    EXPECT_EQ(SurveyPorts(m.Ini(), 1, m.Roots()).findings.size(), 1u);
}

TEST(PortSurvey, APathThatIsNoTerminalIsSaidForWhatItIsWhoeverHasItOpen) {
    FakeMachine m;
    m.Adapter("1-1", "0403", "6001", "FT232R USB UART", "ttyUSB0");
    const std::string fifo = (m.Root() / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = (m.Root() / "folder").string();
    fs::create_directory(folder);
    const std::string file = (m.Root() / "file").string();
    test::WriteBytes(file, "");
    m.Process(4242, "bash", {"/dev/null", fifo});  // as every shell has /dev/null open
    struct Case {
        std::string path;
        const char* en;
        const char* ja;
    };
    const Case cases[] = {
        {fifo, "a named pipe (FIFO)", "名前付きパイプ (FIFO)です"},
        {folder, "a folder", "フォルダーです"},
        {file, "a regular file", "通常のファイルです"},
        {"/dev/null", "a character device that is not a terminal",
         "端末でないキャラクターデバイスです"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        WriteIniString(kPortsSection, ComName(static_cast<int>(i) + 2), cases[i].path, m.Ini());
    }
    const PortSurvey survey = SurveyPorts(m.Ini(), 1, m.Roots());
    ASSERT_EQ(survey.ports.size(), std::size(cases) + 1);
    EXPECT_EQ(survey.ports[0].state, PortState::kFree) << survey.ports[0].reason.en;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.path);
        const SurveyedPort& port = survey.ports[i + 1];
        EXPECT_EQ(port.state, PortState::kNotSerial);
        EXPECT_EQ(port.holder, "");
        EXPECT_EQ(port.reason.en, c.path + " is not a serial port: it is " + c.en + ".");
        EXPECT_TRUE(Has(port.reason.ja, "シリアルポートではありません (" + std::string(c.ja)))
            << port.reason.ja;
        // The same by its number and by its path, with the way out and the port to use instead.
        for (const PortVerdict& verdict :
             {DiagnosePort(static_cast<int>(i + 2), m.Ini(), m.Roots()),
              DiagnosePortName(c.path, m.Ini(), m.Roots())}) {
            EXPECT_FALSE(verdict.usable);
            EXPECT_EQ(verdict.state, PortState::kNotSerial);
            EXPECT_TRUE(Has(verdict.reason.en, "Give the meter's port")) << verdict.reason.en;
            ASSERT_EQ(verdict.candidates.size(), 1u);
            EXPECT_EQ(verdict.candidates[0].device, m.Dev("ttyUSB0"));
        }
    }
}

TEST(PortSurvey, TheConsoleIsFoundWhereverTheSystemSaysSo) {
    struct Case {
        const char* what;
        std::function<void(const FakeMachine&)> make;
        const char* says;
    };
    const Case cases[] = {
        {"the kernel command line",
         [](const FakeMachine& m) {
             m.Put("proc/cmdline", "ro console=tty0 console=ttyS0,115200n8 -- console=ttyS1\n");
         },
         "console=ttyS0 in the kernel command line"},
        {"the active console",
         [](const FakeMachine& m) { m.Put("sys/class/tty/console/active", "tty0 ttyS0\n"); },
         "active console"},
        {"a login prompt on it",
         [](const FakeMachine& m) { m.Process(612, "agetty", {m.Dev("ttyS0")}); },
         "agetty (PID 612) gives a login prompt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeMachine m;
        m.Uart("ttyS0", "4");
        m.Uart("ttyS1", "4");
        c.make(m);
        const PortVerdict verdict = DiagnosePort(1, m.Ini(), m.Roots());
        EXPECT_FALSE(verdict.usable);
        EXPECT_EQ(verdict.state, PortState::kConsole);
        EXPECT_TRUE(Has(verdict.reason.en, c.says)) << verdict.reason.en;
        EXPECT_TRUE(Has(verdict.reason.ja, "コンソール")) << verdict.reason.ja;
        // The other line is offered (what follows "--" on the command line is not the kernel's).
        ASSERT_EQ(verdict.candidates.size(), 1u);
        EXPECT_EQ(verdict.candidates[0].device, m.Dev("ttyS1"));
        EXPECT_TRUE(RefuseConsole(m.Dev("ttyS0"), m.Roots()).has_value());
        EXPECT_FALSE(RefuseConsole(m.Dev("ttyS1"), m.Roots()).has_value());
    }
    FakeMachine m;
    EXPECT_TRUE(RefuseConsole(m.Dev("console"), m.Roots()).has_value());
}

TEST(PortSurvey, AConsoleIsNeverOpenedAndGetsNoByte) {
    // The simulator's line stands where the kernel's console is said to be.
    test::TempDir dir;
    test::MeterLine meter(dir);
    ASSERT_TRUE(meter.Started());
    FakeMachine m;
    fs::create_symlink(dir.File("meter-tty"), m.Dev("ttyS0"));
    WriteIniString(kPortsSection, "COM1", m.Dev("ttyS0"), meter.Ini());
    CommLog log(dir.File("KORVANA.log"), [](const Failure&) {});

    MeterSession session(log);
    session.SetSurveyRoots(m.Roots());
    Failure why;
    ASSERT_TRUE(session.Open("COM1", meter.Ports(), &why)) << why.reason.en;  // not the console yet
    session.Close();
    m.Put("proc/cmdline", "console=ttyS0\n");
    EXPECT_FALSE(session.Open("COM1", meter.Ports(), &why));
    EXPECT_FALSE(session.IsOpen());
    EXPECT_EQ(why.subject, m.Dev("ttyS0"));
    EXPECT_TRUE(Has(why.reason.en, "console")) << why.reason.en;
    EXPECT_FALSE(session.Open(m.Dev("ttyS0"), meter.Ports(), &why));  // by its path as well
    // Nothing reached the line, and a read finds no port to use.
    session.PrepareRead();
    const MeterRead read = session.Read([](int, bool) { return 0; });
    EXPECT_NE(read.outcome, ExchangeOutcome::kBlockReceived);
    EXPECT_TRUE(meter.Sim().Received().empty());
}

TEST(PortPermission, FollowsTheKernelsOwnerGroupOtherOrder) {
    const UserFacts alice{true, 1000, {1000, 24}, "alice"};
    const UserFacts root{true, 0, {0}, "root"};
    struct Case {
        unsigned mode, uid, gid;
        const UserFacts* user;
        bool may;
    };
    const Case cases[] = {
        {0660, 0, 20, &alice, false},     // dialout, and alice is not in it
        {0660, 0, 24, &alice, true},      // a group she is in
        {0600, 0, 24, &alice, false},     // her group, without the group's bits
        {0666, 0, 20, &alice, true},      // everyone
        {0600, 1000, 20, &alice, true},   // her own
        {0066, 1000, 24, &alice, false},  // the owner's bits decide for the owner
        {0000, 0, 20, &root, true},       // root passes
        {0640, 0, 24, &alice, false},     // read only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + std::to_string(c.gid));
        EXPECT_EQ(MayReadWrite(NodeAccess{true, c.mode, c.uid, c.gid, ""}, *c.user), c.may);
    }

    // The message names the group, the mode and the fix.
    MachineFacts machine;
    machine.user = alice;
    PortFacts facts;
    facts.device = "/dev/ttyUSB0";
    facts.exists = true;
    facts.access = NodeAccess{true, 0660, 0, 20, "dialout"};
    const SurveyedPort denied = JudgePort(facts, machine);
    EXPECT_EQ(denied.state, PortState::kNoPermission);
    for (const char* part : {"group dialout", "mode 0660", "alice is not in the group dialout",
                             "sudo adduser alice dialout", "log out and in again"}) {
        EXPECT_TRUE(Has(denied.reason.en, part)) << part << "\n" << denied.reason.en;
    }
    EXPECT_TRUE(Has(denied.reason.ja, "sudo adduser alice dialout")) << denied.reason.ja;
    facts.access = NodeAccess{true, 0600, 0, 24, "uucp"};
    const SurveyedPort member = JudgePort(facts, machine);
    EXPECT_EQ(member.state, PortState::kNoPermission);
    EXPECT_TRUE(Has(member.reason.en, "is in the group uucp")) << member.reason.en;
    EXPECT_FALSE(Has(member.reason.en, "adduser")) << member.reason.en;
    machine.user = root;
    EXPECT_EQ(JudgePort(facts, machine).state, PortState::kFree);
}

}  // namespace
}  // namespace odomei
