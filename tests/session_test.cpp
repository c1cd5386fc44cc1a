// The meter session every front end uses, against the simulated meter on a pseudo-terminal:
// open by COM name or device path, the banner, a whole read with its log, cancellation,
// progress, and failures reported as values.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "link/MeterSession.h"
#include "tests/FakeMachine.h"
#include "tests/FakeSerial.h"
#include "tests/LogExpect.h"
#include "tests/MeterLine.h"

namespace odomei {
namespace {

using test::Bytes;

class Session : public ::testing::Test {
protected:
    void Start(metersim::Options options = {}) {
        meter = std::make_unique<test::MeterLine>(dir, options);
        ASSERT_TRUE(meter->Started());
    }
    MeterRead Read(const ExchangeWatch& watch = {}) {
        session.PrepareRead();
        return session.Read(
            [this](int ms, bool until) { return PlainPause(session.Port(), ms, until); }, watch);
    }
    std::string Log() const { return test::ReadBytes(dir.File("KORVANA.log")); }
    std::string Banner() const { return test::FixedClock::Stamp() + Sjis(kStartBanner) + "\r\n"; }

    test::TempDir dir;
    test::FixedClock clock;
    std::vector<Failure> problems;
    CommLog log{dir.File("KORVANA.log"), [this](const Failure& p) { problems.push_back(p); }};
    std::unique_ptr<test::MeterLine> meter;
    MeterSession session{log};
};

TEST_F(Session, ReadsTheMeterByComNameAndLogsEveryByte) {
    Start();
    Failure why;
    ASSERT_TRUE(session.Open("COM1", meter->Ports(), &why)) << why.reason.en;
    EXPECT_EQ(Log(), Banner());
    const MeterRead read = Read();
    ASSERT_EQ(read.outcome, ExchangeOutcome::kBlockReceived) << read.failure.reason.en;
    EXPECT_TRUE(read.failure.reason.en.empty());
    const auto sample = metersim::SampleBlock();
    EXPECT_EQ(read.reading.records.size(), 15u);
    EXPECT_EQ(read.reading.version, "01.03");
    EXPECT_TRUE(std::equal(sample.begin(), sample.end(), read.reading.block.begin()));
    EXPECT_TRUE(
        std::equal(sample.begin() + 1, sample.begin() + 15, read.reading.records[0].raw.begin()));
    EXPECT_EQ(IsoDate(read.reading.records[0]), "2015-01-09");
    meter->Sim().WaitForReceived(2, 2000);
    EXPECT_EQ(meter->Sim().Received(), (Bytes{STX, ACK}));
    EXPECT_EQ(Log(), Banner() + test::ExpectLog({{"onSend", {STX}},
                                                 {"onReceive", Bytes(sample.begin(), sample.end())},
                                                 {"onSend", {ACK}}}));
    EXPECT_TRUE(problems.empty());

    // Closed, the port can be opened again, here by its device path.
    session.Close();
    EXPECT_FALSE(session.IsOpen());
    ASSERT_TRUE(session.Open(meter->Sim().SlavePath(), PortMap(), &why)) << why.reason.en;
    EXPECT_EQ(Read().outcome, ExchangeOutcome::kBlockReceived);
}

TEST_F(Session, FailuresToOpenSayWhatWasTriedAndWhy) {
    test::RealSerialOpener real;
    Failure why;
    EXPECT_FALSE(session.Open("COM3", PortMap(), &why));
    EXPECT_EQ(why.subject, "COM3");
    EXPECT_NE(why.reason.en.find("COM3=/dev/ttyUSB0 in section [Ports]"), std::string::npos);
    EXPECT_FALSE(session.Open(dir.File("unplugged"), PortMap(), &why));
    EXPECT_EQ(why.subject, dir.File("unplugged"));
    EXPECT_NE(why.reason.en.find("no such device"), std::string::npos);
    EXPECT_FALSE(session.IsOpen());
    EXPECT_FALSE(test::Exists(dir.File("KORVANA.log")));  // no banner without a port
    EXPECT_EQ(PortFailureText("COM12"),
              "通信ポートの初期化に失敗しました。環境を確認して再起動して下さい(COM12)\n"
              "通信ポートを変更する場合はINIファイルを編集して下さい");
}

TEST_F(Session, ProgressCountsTheBytesAndAFalseFromTheWatchStopsTheRead) {
    metersim::Options options;
    options.pieceSize = 54;
    options.pieceGapMs = 30;
    Start(options);
    Failure why;
    ASSERT_TRUE(session.Open("COM1", meter->Ports(), &why)) << why.reason.en;
    std::vector<ExchangeProgress> seen;
    EXPECT_EQ(Read([&seen](const ExchangeProgress& p) {
                  seen.push_back(p);
                  return true;
              }).outcome,
              ExchangeOutcome::kBlockReceived);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().received, 0);
    EXPECT_EQ(seen.front().attempt, 1);
    EXPECT_GE(seen.front().msUntilTimeout, 10000);
    EXPECT_EQ(seen.back().received, 216);
    for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i].received, seen[i - 1].received);

    // A silent meter: the read stops at the first poll after the watch says no.
    meter.reset();
    metersim::Options silent;
    silent.silent = true;
    Start(silent);
    ASSERT_TRUE(session.Open("COM1", meter->Ports(), &why)) << why.reason.en;
    int polls = 0;
    const auto start = std::chrono::steady_clock::now();
    const MeterRead read = Read([&polls](const ExchangeProgress&) { return ++polls < 20; });
    EXPECT_EQ(read.outcome, ExchangeOutcome::kCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(polls, 20);
    meter->Sim().WaitForReceived(1, 2000);
    EXPECT_EQ(meter->Sim().Received(), Bytes{STX});  // no NAK, no ACK
}

TEST_F(Session, FailuresComeBackAsOutcomesWithTheirReasons) {
    metersim::Options options;
    options.badChecks = 3;
    options.pace = false;
    Start(options);
    Failure why;
    ASSERT_TRUE(session.Open("COM1", meter->Ports(), &why)) << why.reason.en;
    const MeterRead bad = Read();
    EXPECT_EQ(bad.outcome, ExchangeOutcome::kBccError);
    EXPECT_NE(bad.failure.reason.en.find("check byte was wrong 3 times"), std::string::npos)
        << bad.failure.reason.en;

    meter.reset();
    metersim::Options stuck;
    stuck.stuck = true;
    Start(stuck);
    ASSERT_TRUE(session.Open("COM1", meter->Ports(), &why)) << why.reason.en;
    const MeterRead unsent = Read();
    EXPECT_EQ(unsent.outcome, ExchangeOutcome::kStxFailed);
    EXPECT_NE(unsent.failure.reason.en.find("took no byte"), std::string::npos)
        << unsent.failure.reason.en;

    // A log that cannot be written is reported, and the read still succeeds.
    meter.reset();
    Start();
    log.SetPath(dir.File("no-such-folder/KORVANA.log"));
    ASSERT_TRUE(session.Open("COM1", meter->Ports(), &why)) << why.reason.en;
    EXPECT_EQ(Read().outcome, ExchangeOutcome::kBlockReceived);
    ASSERT_EQ(problems.size(), 7u);  // the banner and six entries of the read
    EXPECT_EQ(problems[0].reason.ja,
              "通信ログ処理時にエラーが発生しました\n\nファイルオープンエラー");
}

TEST_F(Session, APortThatWentAwayIsOpenedAgainForTheNextReadAndAWorkingOneNever) {
    metersim::Options options;
    options.hangupAfter = 100;  // the adapter is pulled out in the middle of the answer
    Start(options);
    Failure why;
    ASSERT_TRUE(session.Open("COM1", meter->Ports(), &why)) << why.reason.en;
    EXPECT_EQ(Read().outcome, ExchangeOutcome::kTimedOut);
    EXPECT_TRUE(session.Port()->Gone());

    // Still unplugged: the read fails at once as before, saying why.
    meter->Sim().Stop();
    const MeterRead unplugged = Read();
    EXPECT_EQ(unplugged.outcome, ExchangeOutcome::kStxFailed);
    EXPECT_NE(unplugged.failure.reason.en.find("cannot be opened again"), std::string::npos)
        << unplugged.failure.reason.en;

    // Plugged back in (a new line behind the same name): the next read works.
    meter.reset();
    Start();
    const MeterRead again = Read();
    ASSERT_EQ(again.outcome, ExchangeOutcome::kBlockReceived) << again.failure.reason.en;
    EXPECT_EQ(again.reading.records.size(), 15u);
    // The banner is the program's start only: the log has it once.
    const std::string written = Log();
    EXPECT_EQ(written.find(Sjis(kStartBanner)), written.rfind(Sjis(kStartBanner)));
}

// A closed pseudo-terminal's number goes to the next line anyone makes: a name that still led
// there would open another program's line (as happened between tests running side by side).
TEST_F(Session, APortThatWentAwayNeverLeadsToTheLineThatTookItsNumber) {
    metersim::Options options;
    options.hangupAfter = 100;
    Start(options);
    Failure why;
    ASSERT_TRUE(session.Open("COM1", meter->Ports(), &why)) << why.reason.en;
    EXPECT_EQ(Read().outcome, ExchangeOutcome::kTimedOut);
    const std::string freed = meter->Sim().SlavePath();
    session.Close();  // its last user gone, the number is free
    // The name went with the line, as an unplugged adapter's device node goes.
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File("meter-tty")));

    // Another line, most often with the freed number (unless a test beside this one took it).
    metersim::Options elsewhere;
    elsewhere.linkPath = dir.File("other-tty");
    metersim::MeterSim other(elsewhere);
    std::string error;
    ASSERT_TRUE(other.Start(&error)) << error;
    EXPECT_FALSE(session.Open("COM1", meter->Ports(), &why))
        << (other.SlavePath() == freed ? "opened the line that took the number" : "");
    EXPECT_NE(why.reason.en.find("no such device"), std::string::npos) << why.reason.en;
    EXPECT_TRUE(other.Received().empty());
}

// A COM name is looked up once for each open: the device that passed the check for the system's
// console is the device opened, though the machine's list changes in between (here the adapter
// that was COM1 goes, and the console's UART becomes COM1).
TEST_F(Session, OpensTheDeviceItCheckedThoughThePortListChangesMeanwhile) {
    class ChangingList final : public PortLister {
    public:
        ChangingList(std::string first, std::string then)
            : m_first(std::move(first)), m_then(std::move(then)) {}
        std::vector<PortInfo> SerialPorts() const override {
            PortInfo port;
            port.device = m_calls++ == 0 ? m_first : m_then;
            return {port};
        }

    private:
        std::string m_first, m_then;
        mutable int m_calls = 0;
    };
    test::RealSerialOpener real;
    test::FakeMachine machine;
    std::filesystem::create_directories(machine.roots.sys + "/class/tty/console");
    test::WriteBytes(machine.roots.sys + "/class/tty/console/active", "ttyS0\n");
    std::filesystem::create_directories(dir.File("usb"));
    std::filesystem::create_directories(dir.File("uart"));
    metersim::Options adapterOptions, consoleOptions;
    adapterOptions.pace = false;
    adapterOptions.linkPath = dir.File("usb/ttyUSB0");
    consoleOptions.pace = false;
    consoleOptions.linkPath = dir.File("uart/ttyS0");
    metersim::MeterSim adapter(adapterOptions), console(consoleOptions);
    std::string error;
    ASSERT_TRUE(adapter.Start(&error)) << error;
    ASSERT_TRUE(console.Start(&error)) << error;
    ChangingList list(adapterOptions.linkPath, consoleOptions.linkPath);
    session.SetSurveyRoots(machine.roots);

    Failure why;
    ASSERT_TRUE(session.Open("COM1", PortMap({}, &list), &why)) << why.reason.en;
    EXPECT_EQ(Read().outcome, ExchangeOutcome::kBlockReceived);
    EXPECT_TRUE(adapter.WaitForReceived(2, 2000));
    EXPECT_TRUE(console.Received().empty());
}

TEST(SessionOnAScriptedLine, OnlyAPortKnownToBeGoneIsOpenedAgain) {
    auto line = std::make_shared<test::FakeLine>();
    test::FakeOpener opener(line);
    CommLog off;
    MeterSession session(off);
    Failure why;
    ASSERT_TRUE(session.Open("COM2", PortMap(), &why));
    auto read = [&session] { return session.Read([](int ms, bool) { return ms; }).outcome; };
    // A read that fails with the device still there: the same handle next time.
    line->statusFailsAfter = 0;
    EXPECT_EQ(read(), ExchangeOutcome::kStxFailed);
    EXPECT_EQ(read(), ExchangeOutcome::kStxFailed);
    EXPECT_EQ(opener.names, std::vector<std::string>{"COM2"});
    // Gone: closed, then COM2 again with the line settings and the control lines.
    line->gone = true;
    line->calls.clear();
    read();
    EXPECT_EQ(opener.names, (std::vector<std::string>{"COM2", "COM2"}));
    EXPECT_EQ(line->Only({"CloseHandle", "SetCommState", "EscapeCommFunction", "SetCommMask"}),
              (std::vector<std::string>{"CloseHandle", "SetCommState", "EscapeCommFunction(3)",
                                        "EscapeCommFunction(5)", "SetCommMask(1)"}));
}

}  // namespace
}  // namespace odomei
