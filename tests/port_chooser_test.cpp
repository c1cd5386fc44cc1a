// Finding the meter among ports that stay silent or answer garbage, and the port chooser's flow
// on a recording view: the survey's rows, a choice, the search, and the setting kept.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <deque>

#include "link/FindMeter.h"
#include "platform/Interrupt.h"
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

// Three simulated ports in dir: one that never answers, one that answers 300 bytes of junk, and
// the meter; each reached by its link's path.
struct ThreeLines {
    explicit ThreeLines(const test::TempDir& dir) {
        metersim::Options silentOptions, junkOptions, meterOptions;
        silentOptions.silent = true;
        silentOptions.linkPath = dir.File("silent-tty");
        // What a GPS receiver on another port says, whatever it is sent.
        std::string junk;
        while (junk.size() < 300)
            junk += "$GPGGA,101500.00,3540.1,N,13945.3,E,1,08,1.0,40.0,M*5B\r\n";
        junkOptions.answer.assign(junk.begin(), junk.begin() + 300);
        EXPECT_NE(BlockCheck(MeasurementBlock(junkOptions.answer.data(), kBlockSize)),
                  junkOptions.answer[kCheckByteOffset]);
        junkOptions.pace = false;
        junkOptions.linkPath = dir.File("junk-tty");
        meterOptions.pace = false;
        meterOptions.linkPath = dir.File("meter-tty");
        std::string error;
        for (auto* o : {&silentOptions, &junkOptions, &meterOptions}) {
            sims.push_back(std::make_unique<metersim::MeterSim>(*o));
            EXPECT_TRUE(sims.back()->Start(&error)) << error;
        }
    }
    metersim::MeterSim& Silent() { return *sims[0]; }
    metersim::MeterSim& Junk() { return *sims[1]; }
    metersim::MeterSim& Meter() { return *sims[2]; }

    test::RealSerialOpener real;
    std::vector<std::unique_ptr<metersim::MeterSim>> sims;
};

TEST(FindMeter, PassesOverASilentPortGarbageAndAMissingDeviceToTheMeter) {
    test::TempDir dir;
    test::FixedClock clock;
    test::FakeMachine machine;
    ThreeLines lines(dir);
    const std::vector<MeterCandidate> candidates{{3, dir.File("silent-tty"), {}},
                                                 {4, dir.File("not-there"), {}},
                                                 {5, dir.File("junk-tty"), {}},
                                                 {6, dir.File("meter-tty"), {}}};
    const CommLog log(dir.File("search.log"));
    std::vector<std::size_t> told;
    const auto start = std::chrono::steady_clock::now();
    const MeterSearch search = FindMeter(
        candidates, log, PlainPause,
        [&](std::size_t i, const ExchangeProgress&) {
            if (told.empty() || told.back() != i) told.push_back(i);
            return true;
        },
        machine.roots);
    const auto took = std::chrono::steady_clock::now() - start;

    ASSERT_TRUE(search.found) << search.Describe();
    EXPECT_EQ(search.port.device, dir.File("meter-tty"));
    EXPECT_EQ(search.read.reading.records.size(), 15u);
    EXPECT_EQ(search.read.reading.version, "01.03");
    ASSERT_EQ(search.tries.size(), 4u);
    EXPECT_TRUE(search.tries[0].opened && search.tries[0].silent);
    EXPECT_FALSE(search.tries[1].opened);
    EXPECT_EQ(search.tries[2].outcome, ExchangeOutcome::kBccError);
    EXPECT_FALSE(search.tries[2].silent);
    EXPECT_EQ(told, (std::vector<std::size_t>{0, 1, 2, 3}));
    // Well inside one silent port's wait and the retries: the search does not hang on any port
    // (the real figure is bench/search_bench's).
    EXPECT_LT(took, std::chrono::seconds(8));

    // Only the exchange's own bytes reached each port.
    lines.Meter().WaitForReceived(2, 2000);
    EXPECT_EQ(lines.Silent().Received(), Bytes{STX});
    EXPECT_EQ(lines.Junk().Received(), (Bytes{STX, NAK, STX, NAK, STX, NAK}));
    EXPECT_EQ(lines.Meter().Received(), (Bytes{STX, ACK}));
    // Every try is in the log, each after a label naming its port.
    const std::string logged = test::ReadBytes(dir.File("search.log"));
    for (const int n : {3, 5, 6}) {
        const std::string label =
            "onSearch " + CandidateName(candidates[static_cast<std::size_t>(n == 3   ? 0
                                                                            : n == 5 ? 2
                                                                                     : 3)]);
        EXPECT_NE(logged.find(Sjis(label)), std::string::npos) << label;
    }
    EXPECT_EQ(logged.find("not-there"), std::string::npos);
}

TEST(FindMeter, StopsWhenTheCallerSaysSoAndFindsNothingWithoutAMeter) {
    test::TempDir dir;
    test::FakeMachine machine;
    ThreeLines lines(dir);
    const CommLog log;
    int polls = 0;
    const MeterSearch stopped = FindMeter(
        {{1, dir.File("silent-tty"), {}}, {2, dir.File("meter-tty"), {}}}, log, PlainPause,
        [&](std::size_t, const ExchangeProgress&) { return ++polls < 5; }, machine.roots);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_FALSE(stopped.found);
    EXPECT_TRUE(lines.Meter().Received().empty());

    const MeterSearch none =
        FindMeter({{1, dir.File("junk-tty"), {}}}, log, PlainPause, {}, machine.roots);
    EXPECT_FALSE(none.found);
    EXPECT_FALSE(none.cancelled);
    EXPECT_NE(none.Describe().find("COM1 (" + dir.File("junk-tty") + "): "), std::string::npos);
}

// A search that finds no meter ends as a read of the most telling port would: a line that always
// spoils the check byte is a BCC error wherever it comes in the order, a line that takes no byte
// says more than silence, and silence more than a port that cannot be opened.
TEST(FindMeter, WithoutTheMeterSaysTheMostTellingFailureItMet) {
    test::TempDir dir;
    test::FakeMachine machine;
    test::RealSerialOpener real;
    metersim::Options silent, stuck, spoilt;
    silent.silent = true;
    silent.linkPath = dir.File("silent-tty");
    stuck.stuck = true;
    stuck.linkPath = dir.File("stuck-tty");
    spoilt.badChecks = 1000;
    spoilt.pace = false;
    spoilt.linkPath = dir.File("spoilt-tty");
    std::vector<std::unique_ptr<metersim::MeterSim>> sims;
    for (const auto* o : {&silent, &stuck, &spoilt}) {
        sims.push_back(std::make_unique<metersim::MeterSim>(*o));
        std::string error;
        ASSERT_TRUE(sims.back()->Start(&error)) << error;
    }
    const MeterCandidate quiet{1, silent.linkPath, {}}, missing{2, dir.File("not-there"), {}},
        bad{3, spoilt.linkPath, {}}, refusing{4, stuck.linkPath, {}};
    const CommLog log;
    auto search = [&](const std::vector<MeterCandidate>& candidates) {
        return FindMeter(candidates, log, PlainPause, {}, machine.roots);
    };

    const MeterSearch spoiltLine = search({quiet, missing, bad, refusing});
    EXPECT_FALSE(spoiltLine.found);
    EXPECT_FALSE(spoiltLine.cancelled);
    EXPECT_EQ(spoiltLine.read.outcome, ExchangeOutcome::kBccError);
    EXPECT_EQ(spoiltLine.read.failure.reason.en.rfind(CandidateName(bad) + ": ", 0), 0u)
        << spoiltLine.read.failure.reason.en;
    EXPECT_NE(spoiltLine.read.failure.reason.en.find("check byte was wrong 3 times"),
              std::string::npos)
        << spoiltLine.read.failure.reason.en;

    EXPECT_EQ(search({quiet, refusing}).read.outcome, ExchangeOutcome::kStxFailed);
    const MeterSearch silence = search({missing, quiet});
    EXPECT_EQ(silence.read.outcome, ExchangeOutcome::kTimedOut);
    EXPECT_EQ(silence.read.failure.reason.en.rfind(CandidateName(quiet) + ": no answer within", 0),
              0u)
        << silence.read.failure.reason.en;
}

TEST(FindMeter, TriesTheSettingsPortFirstThenFreeUsbAndNamedPortsAndHardwareOnlyWhenAsked) {
    PortSurvey survey;
    auto add = [&](int n, bool usb, bool fromIni, PortState state, bool current = false) {
        SurveyedPort p;
        p.number = n;
        p.device = "/dev/x" + std::to_string(n);
        p.usb = usb;
        p.fromIni = fromIni;
        p.state = state;
        p.current = current;
        survey.ports.push_back(p);
    };
    add(1, false, false, PortState::kConsole);
    add(2, false, false, PortState::kFree);  // a hardware port
    add(3, true, false, PortState::kInUse);
    add(4, true, false, PortState::kFree);
    add(5, false, true, PortState::kFree);
    add(6, true, false, PortState::kFree, true);
    add(7, false, true, PortState::kMissing);
    EXPECT_EQ(SearchOrder(survey, false), (std::vector<std::size_t>{5, 3, 4}));
    EXPECT_EQ(SearchOrder(survey, true), (std::vector<std::size_t>{5, 1, 3, 4}));
    // What it leaves out of those it looks at, to be said: the busy adapter, the entry that names
    // nothing, and with the hardware ports the console.
    EXPECT_EQ(SearchLeavesOut(survey, false), (std::vector<std::size_t>{2, 6}));
    EXPECT_EQ(SearchLeavesOut(survey, true), (std::vector<std::size_t>{0, 2, 6}));
}

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
    void ShowHistory(const Logbook&, const std::string&, const std::string&) override {}

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
        WriteIniString("Ports", "COM1", dir.File("unplugged-1"), ini);
        WriteIniString("Ports", "COM2", dir.File("meter-tty"), ini);
        WriteIniString("Ports", "COM3", dir.File("unplugged-3"), ini);
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
        EXPECT_EQ(ReadIniString("Ports", "COM2", ini), dir.File("meter-tty"));
        EXPECT_EQ(ReadIniString("Ports", "COM1", ini), dir.File("unplugged-1"));
        EXPECT_EQ(ReadIniString("Ports", "COM3", ini), dir.File("unplugged-3"));

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
    WriteIniString("Ports", "COM1", dir.File("meter-tty"), ini);
    WriteIniString("Ports", "COM2", dir.File("held-tty"), ini);
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
// at the port it is on, nothing more is said, and the port let go for the chooser is not opened
// again on the way out. (In a process of its own: a signal stays recorded for good.)
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
                WriteIniString("Ports", name, silent.linkPath, dir.File("KORVANA.ini"));
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
        EXPECT_EQ(report, "open tries 1 cancelled messages 0 closed");
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
