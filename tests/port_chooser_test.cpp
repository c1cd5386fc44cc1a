// The port chooser's flow on a recording view: the survey's rows, a choice, the search for the
// meter, and the setting kept.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <deque>

#include "link/FindMeter.h"
#include "link/PortSetting.h"
#include "platform/Interrupt.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "tests/FakeMachine.h"
#include "tests/LogExpect.h"
#include "tests/MeterLine.h"
#include "ui/MeterPresenter.h"
#include "ui/PortPresenter.h"
#include "ui/Texts.h"

namespace odomei {
namespace {

using test::Bytes;

// Records what the main window and the chooser are told, answering questions from a script.
class Recorder : public MeterView, public PortView {
public:
    std::vector<std::string> texts;
    std::deque<int> answers;
    CommandState commands;
    std::vector<PortRow> rows;
    int selected = -2;
    PortCommands portCommands;
    std::string status;
    int closed = 0, chosen = 0;
    bool busy = false;
    std::vector<bool> portsDuringRead;

    int Message(const std::string& text, unsigned flags, const std::string&) override {
        texts.push_back(text);
        if ((flags & kMbTypeMask) == kMbOk) return kIdOk;
        EXPECT_FALSE(answers.empty()) << "unexpected question: " << text;
        if (answers.empty()) return kIdNo;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    void ShowRows(const std::vector<std::vector<std::string>>&) override {}
    void ShowVersion(const std::string&) override {}
    void EnableCommands(const CommandState& state) override { commands = state; }
    void FocusExit() override {}
    std::optional<SaveAsResult> AskSaveName(const SaveAsRequest&) override { return {}; }
    void BeginBusy() override {
        busy = true;
        portsDuringRead.push_back(commands.ports);
    }
    void EndBusy() override { busy = false; }
    int Pause(SerialHandle port, int ms, bool untilInput) override {
        EXPECT_TRUE(busy);
        if (signalAtPause != 0) raise(std::exchange(signalAtPause, 0));
        return PlainPause(port, ms, untilInput);
    }
    int signalAtPause = 0;  // raised at the next pause (as a kill from outside would come)
    void EndWindow() override {}
    void ShowAbout() override {}
    void ShowHistory(const Logbook&, const std::string&, const std::string&,
                     const std::string&) override {}
    void ShowVehicle(const std::string&) override {}

    void ShowPorts(const std::vector<PortRow>& r, int s) override {
        rows = r;
        selected = s;
    }
    void ShowStatus(const std::string& text) override { status = text; }
    void EnableCommands(const PortCommands& state) override { portCommands = state; }
    void Close(bool c) override {
        ++closed;
        chosen += c;
    }
};

class Chooser : public ::testing::Test {
protected:
    // COM1 and COM3 lead to devices that are not there, COM2 to the meter; the setting is 1.
    Chooser() {
        ini = dir.File("KORVANA.ini");
        WriteIniString(kPortsSection, "COM1", dir.File("unplugged-1"), ini);
        WriteIniString(kPortsSection, "COM2", dir.File("meter-tty"), ini);
        WriteIniString(kPortsSection, "COM3", dir.File("unplugged-3"), ini);
        WriteIniString(kPortSection, kPortKey, "1", ini);
        metersim::Options options;
        options.pace = false;
        options.linkPath = dir.File("meter-tty");
        sim = std::make_unique<metersim::MeterSim>(options);
        std::string error;
        EXPECT_TRUE(sim->Start(&error)) << error;
    }
    int Row(const std::string& name) const {
        for (std::size_t i = 0; i < view.rows.size(); ++i) {
            if (view.rows[i].texts[0] == name) return static_cast<int>(i);
        }
        return -1;
    }

    test::TempDir dir;
    test::ScopedCwd cwd{dir.Path()};
    test::FixedClock clock;
    test::RealSerialOpener real;
    test::FakeMachine machine;
    std::string ini;
    std::unique_ptr<metersim::MeterSim> sim;
    Recorder view;
};

TEST_F(Chooser, ListsThePortsWithTheirStateAndKeepsAChoiceForTheNextStart) {
    {
        MeterPresenter main(view);
        main.Start();
        EXPECT_EQ(view.texts, std::vector<std::string>{PortFailureText("COM1")});
        EXPECT_FALSE(view.commands.read);
        EXPECT_TRUE(view.commands.ports);  // the chooser is how to mend it

        PortPresenter chooser(view, main, machine.Surveyor());
        chooser.Start();
        ASSERT_EQ(view.rows.size(), 3u);
        EXPECT_EQ(view.rows[0].texts[0], "COM1");
        EXPECT_EQ(view.rows[0].texts[1], dir.File("unplugged-1"));
        EXPECT_TRUE(view.rows[0].current);
        EXPECT_FALSE(view.rows[0].choosable);
        EXPECT_FALSE(view.rows[0].reason.empty());
        EXPECT_EQ(view.selected, 0);  // the setting's port, selected though it cannot be used
        EXPECT_FALSE(view.portCommands.ok);
        EXPECT_TRUE(view.rows[Row("COM2")].choosable);
        EXPECT_FALSE(view.rows[Row("COM2")].current);
        EXPECT_FALSE(view.rows[Row("COM3")].choosable);
        EXPECT_NE(view.rows[0].texts[5], view.rows[Row("COM2")].texts[5]);

        view.texts.clear();
        chooser.OnChoose(Row("COM3"));  // explained, not taken
        EXPECT_EQ(view.texts, std::vector<std::string>{kPortNotChoosableText});
        EXPECT_EQ(view.closed, 0);
        chooser.OnSelect(Row("COM2"));
        EXPECT_TRUE(view.portCommands.ok);
        chooser.OnChoose(Row("COM2"));
        EXPECT_EQ(view.chosen, 1);
        EXPECT_TRUE(view.commands.read);
        EXPECT_EQ(main.Port(), 2);
        EXPECT_TRUE(main.Session().IsOpen());
        // Whole, every other line kept: the setting and the entry that leads to the same device.
        EXPECT_EQ(ReadIniInt(kPortSection, kPortKey, 0, ini), 2u);
        EXPECT_EQ(ReadIniString(kPortsSection, "COM2", ini), dir.File("meter-tty"));
        EXPECT_EQ(ReadIniString(kPortsSection, "COM1", ini), dir.File("unplugged-1"));
        EXPECT_EQ(ReadIniString(kPortsSection, "COM3", ini), dir.File("unplugged-3"));

        // A read: the chooser's command is off while it runs and on again after.
        view.answers.push_back(kIdYes);
        main.OnRead();
        ASSERT_FALSE(view.portsDuringRead.empty());
        EXPECT_EQ(view.portsDuringRead.front(), false);
        EXPECT_TRUE(view.commands.ports);
        EXPECT_EQ(main.Records().m_nRecordCount, 15);
    }

    // The next start opens the port chosen.
    Recorder next;
    MeterPresenter again(next);
    again.Start();
    EXPECT_TRUE(next.texts.empty());
    EXPECT_EQ(again.Port(), 2);
    EXPECT_TRUE(next.commands.read);
}

// A port that cannot be opened when it is chosen (another program took it after the survey, or
// it went away) changes nothing: the setting stays byte for byte, and the port that worked
// before is open again, here at once and through the chooser when it closes.
TEST_F(Chooser, AChoiceThatCannotBeOpenedKeepsTheSettingAndThePortThatWorked) {
    WriteIniString(kPortsSection, "COM1", dir.File("meter-tty"), ini);
    WriteIniString(kPortsSection, "COM2", dir.File("held-tty"), ini);
    metersim::Options heldOptions;
    heldOptions.linkPath = dir.File("held-tty");
    metersim::MeterSim heldSim(heldOptions);
    std::string error;
    ASSERT_TRUE(heldSim.Start(&error)) << error;
    SerialHandle held = nullptr;  // another program's open: the chooser's survey cannot see it
    ASSERT_EQ(OpenSerialPortByName(&held, dir.File("held-tty"), kLineBaud, kLineDataBits,
                                   kLineParityNone, kLineOneStopBit, 0, PortMap(), nullptr),
              1);
    {
        MeterPresenter main(view);
        main.Start();
        ASSERT_TRUE(view.texts.empty()) << view.texts.front();
        const std::string bytes = test::ReadBytes(ini);

        PortPresenter chooser(view, main, machine.Surveyor());
        chooser.Start();
        ASSERT_TRUE(view.rows[Row("COM2")].choosable);
        chooser.OnChoose(Row("COM2"));
        EXPECT_EQ(view.texts, std::vector<std::string>{PortFailureText("COM2")});
        EXPECT_EQ(view.closed, 0);  // the chooser stays for another choice
        EXPECT_EQ(test::ReadBytes(ini), bytes);
        EXPECT_EQ(main.Port(), 1);
        EXPECT_TRUE(view.rows[Row("COM1")].current);
        chooser.OnCancel();
        EXPECT_EQ(view.chosen, 0);
        EXPECT_TRUE(main.Session().IsOpen());
        EXPECT_TRUE(view.commands.read);

        // Chosen without the chooser, while the port is open: open again at once.
        view.texts.clear();
        EXPECT_FALSE(main.ChoosePort({5, dir.File("went-away"), {}}));
        EXPECT_EQ(view.texts, std::vector<std::string>{PortFailureText("COM5")});
        EXPECT_EQ(test::ReadBytes(ini), bytes);
        EXPECT_EQ(main.Port(), 1);
        EXPECT_TRUE(view.commands.read);
        view.answers.push_back(kIdYes);
        main.OnRead();  // on the meter's port
        EXPECT_EQ(main.Records().m_nRecordCount, 15);
    }
    CloseSerialPort(held);
    EXPECT_TRUE(heldSim.Received().empty());

    // The next start uses the port that worked.
    Recorder next;
    MeterPresenter again(next);
    again.Start();
    EXPECT_TRUE(next.texts.empty());
    EXPECT_EQ(again.Port(), 1);
    EXPECT_TRUE(again.Session().IsOpen());
}

// Whatever the setting says, the row marked is the port the window opens for it: 0, a negative
// number, one beyond 255, text and a number beyond 32 bits all mean COM1.
TEST_F(Chooser, MarksThePortTheSettingLeadsToForEveryValueThatMeansCom1) {
    for (const char* setting : {"0", "-3", "256", "abc", "99999999999", "2"}) {
        SCOPED_TRACE(setting);
        WriteIniString(kPortSection, kPortKey, setting, ini);
        MeterPresenter main(view);
        main.Start();
        PortPresenter chooser(view, main, machine.Surveyor());
        chooser.Start();
        const int expected = Row(std::string(setting) == "2" ? "COM2" : "COM1");
        ASSERT_GE(expected, 0);
        for (std::size_t i = 0; i < view.rows.size(); ++i) {
            EXPECT_EQ(view.rows[i].current, static_cast<int>(i) == expected) << i;
            EXPECT_EQ(view.rows[i].texts[5].find("現在の設定") != std::string::npos,
                      static_cast<int>(i) == expected)
                << view.rows[i].texts[5];
        }
        EXPECT_EQ(view.selected, expected);
        chooser.OnCancel();
    }
}

TEST_F(Chooser, FindsTheMeterAndAsksBeforeChangingTheSetting) {
    MeterPresenter main(view);
    main.Start();
    {
        PortPresenter chooser(view, main, machine.Surveyor());
        chooser.Start();
        view.texts.clear();
        view.answers.push_back(kIdNo);
        chooser.OnFindMeter();
        EXPECT_EQ(view.texts, std::vector<std::string>{AskUseFoundPortText("COM2")});
        EXPECT_TRUE(chooser.LastSearch().found);
        EXPECT_EQ(view.selected, Row("COM2"));
        EXPECT_EQ(view.closed, 0);
        EXPECT_EQ(ReadIniInt(kPortSection, kPortKey, 0, ini), 1u);  // no: nothing changed
        EXPECT_EQ(view.status, "");
        sim->WaitForReceived(2, 2000);
        EXPECT_EQ(sim->Received(), (Bytes{STX, ACK}));

        view.answers.push_back(kIdYes);
        chooser.OnFindMeter();
        EXPECT_EQ(view.chosen, 1);
    }
    EXPECT_EQ(main.Port(), 2);
    EXPECT_TRUE(view.commands.read);
    EXPECT_EQ(ReadIniInt(kPortSection, kPortKey, 0, ini), 2u);

    // Found on the setting's own port: said, nothing asked; cancel gives the port back open.
    PortPresenter chooser(view, main, machine.Surveyor());
    chooser.Start();
    EXPECT_FALSE(main.Session().IsOpen());  // let go while the chooser is open
    view.texts.clear();
    chooser.OnFindMeter();
    EXPECT_EQ(view.texts, std::vector<std::string>{MeterFoundText("COM2")});
    chooser.OnCancel();
    EXPECT_TRUE(main.Session().IsOpen());
    EXPECT_TRUE(view.commands.read);

    // Without the meter: said, with every port tried in the details.
    sim.reset();
    metersim::Options silent;
    silent.silent = true;
    silent.linkPath = dir.File("meter-tty");
    sim = std::make_unique<metersim::MeterSim>(silent);
    std::string error;
    ASSERT_TRUE(sim->Start(&error)) << error;
    PortPresenter without(view, main, machine.Surveyor());
    without.Start();
    view.texts.clear();
    without.OnFindMeter();
    EXPECT_EQ(view.texts, std::vector<std::string>{kMeterNotFoundText});
}

// SIGTERM, SIGINT or SIGHUP while the meter is searched for over silent ports: the search stops
// every port it is asking at once, nothing more is said, and the port let go for the chooser is
// not opened again on the way out. (In a process of its own: a signal stays recorded for good.)
TEST(ChooserOnASignal, TheSearchEndsAtOnceAndThePortStaysClosed) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        test::TempDir dir;
        int said[2];
        ASSERT_EQ(pipe(said), 0);
        const pid_t child = fork();
        if (child == 0) {
            alarm(60);  // never outlives the test
            close(said[0]);
            CatchInterrupts();
            test::ScopedCwd cwd(dir.Path());
            test::RealSerialOpener real;
            test::FakeMachine machine;
            std::vector<std::unique_ptr<metersim::MeterSim>> sims;
            for (const char* name : {"COM1", "COM2", "COM3"}) {
                metersim::Options silent;
                silent.silent = true;
                silent.linkPath = dir.File(std::string("silent-") + name);
                sims.push_back(std::make_unique<metersim::MeterSim>(silent));
                std::string error;
                if (!sims.back()->Start(&error)) _exit(1);
                WriteIniString(kPortsSection, name, silent.linkPath, dir.File("KORVANA.ini"));
            }
            Recorder view;
            std::string report;
            {
                MeterPresenter main(view);
                main.Start();
                report += main.Session().IsOpen() ? "open" : "closed";
                {
                    PortPresenter chooser(view, main, machine.Surveyor());
                    chooser.Start();
                    view.texts.clear();
                    view.signalAtPause = signal;
                    chooser.OnFindMeter();
                    report += " tries " + std::to_string(chooser.LastSearch().tries.size()) +
                              (chooser.LastSearch().cancelled ? " cancelled" : "") + " messages " +
                              std::to_string(view.texts.size());
                }
                report += main.Session().IsOpen() ? " reopened" : " closed";
            }
            (void)!write(said[1], report.data(), report.size());
            _exit(0);
        }
        close(said[1]);
        std::string report;
        char buf[256];
        for (ssize_t n; (n = read(said[0], buf, sizeof buf)) > 0;)
            report.append(buf, static_cast<std::size_t>(n));
        close(said[0]);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(report, "open tries 3 cancelled messages 0 closed");
    }
}

TEST_F(Chooser, AUsbAdapterShowsItsStableNameIdsAndIsChosenByIt) {
    const std::string node =
        machine.AddUsbAdapter("ttyUSB0", "0403", "6001", "FT232R USB UART", "A1B2C3");
    MeterPresenter main(view);
    main.Start();
    PortPresenter chooser(view, main, machine.Surveyor());
    chooser.Start();
    int usb = -1;
    for (std::size_t i = 0; i < view.rows.size(); ++i) {
        if (view.rows[i].texts[3] == "0403:6001") usb = static_cast<int>(i);
    }
    ASSERT_GE(usb, 0);
    const PortRow& row = view.rows[static_cast<std::size_t>(usb)];
    const std::string byId =
        machine.roots.dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    EXPECT_EQ(row.texts[1], byId);
    EXPECT_EQ(row.texts[4], "A1B2C3");
    EXPECT_NE(row.texts[2].find("FT232R USB UART"), std::string::npos);
    // Unplugged after the list was shown: chosen, it fails to open with the start's message, and
    // nothing of it is kept.
    std::filesystem::remove(node);
    const std::string bytes = test::ReadBytes(ini);
    view.texts.clear();
    chooser.OnChoose(usb);
    EXPECT_EQ(view.closed, 0);
    ASSERT_EQ(view.texts.size(), 1u);
    EXPECT_EQ(view.texts[0].rfind("通信ポートの初期化に失敗しました", 0), 0u);
    EXPECT_FALSE(view.commands.read);
    EXPECT_EQ(test::ReadBytes(ini), bytes);
}

}  // namespace
}  // namespace odomei
