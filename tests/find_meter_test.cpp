// Finding the meter among ports that stay silent or answer garbage, and the order it looks at
// the surveyed ports in.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "link/FindMeter.h"
#include "tests/FakeMachine.h"
#include "tests/LogExpect.h"
#include "tests/MeterLine.h"

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

// The ports' bytes: what each simulated line received once its exchange has had time to end.
Bytes ReceivedSettled(const metersim::MeterSim& sim) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return sim.Received();
}

std::string HexOf(const Bytes& bytes) {
    std::string text;
    for (const std::uint8_t b : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", b);
        text += hex;
    }
    return text;
}

// How many whole tries a line that always answers with a wrong check byte was given (STX, each
// answer refused with a NAK); -1 if it was left in the middle of one or sent anything else.
int RefusedTries(const Bytes& got) {
    if (got.size() % 2 != 0) return -1;
    for (std::size_t i = 0; i < got.size(); i += 2) {
        if (got[i] != STX || got[i + 1] != NAK) return -1;
    }
    return static_cast<int>(got.size() / 2);
}

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
    const MeterSearch search = FindMeter(
        candidates, log, PlainPause,
        [&](std::size_t i, const ExchangeProgress&) {
            if (told.empty() || told.back() != i) told.push_back(i);
            return true;
        },
        machine.roots);

    ASSERT_TRUE(search.found) << search.Describe();
    EXPECT_EQ(search.port.device, dir.File("meter-tty"));
    EXPECT_EQ(search.read.reading.records.size(), 15u);
    EXPECT_EQ(search.read.reading.version, "01.03");
    ASSERT_EQ(search.tries.size(), 4u);
    EXPECT_TRUE(search.tries[0].opened && search.tries[0].silent);
    EXPECT_FALSE(search.tries[1].opened);
    EXPECT_TRUE(search.tries[2].opened);
    EXPECT_FALSE(search.tries[2].silent);
    EXPECT_EQ(search.tries[3].reason, "the meter answered");
    // Told first of the setting's port, and only ever of a candidate.
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.front(), 0u);
    for (const std::size_t i : told) EXPECT_LT(i, candidates.size());

    // Only the exchange's own bytes reached each port; the GPS receiver, left once the meter had
    // answered, had each of its answers refused with a NAK.
    EXPECT_EQ(ReceivedSettled(lines.Meter()), (Bytes{STX, ACK}));
    EXPECT_EQ(lines.Silent().Received(), Bytes{STX});
    const Bytes junk = lines.Junk().Received();
    const int tries = RefusedTries(junk);
    EXPECT_TRUE(tries >= 1 && tries <= 3) << HexOf(junk);
    // Every port asked is in the log, each after a label naming its port; the one that could not
    // be opened is not.
    const std::string logged = test::ReadBytes(dir.File("search.log"));
    for (const std::size_t i : {0u, 2u, 3u}) {
        const std::string label = "onSearch " + CandidateName(candidates[i]);
        EXPECT_NE(logged.find(Sjis(label)), std::string::npos) << label;
    }
    EXPECT_EQ(logged.find("not-there"), std::string::npos);
}

// A clock that runs (from 10:00:00.000 on a day that is never the machine's), asked from every
// port's thread.
class RunningClock {
public:
    RunningClock() {
        SetClock([start = std::chrono::steady_clock::now()] {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
            return LocalTime{2001,
                             2,
                             3,
                             10,
                             static_cast<int>(ms / 60000 % 60),
                             static_cast<int>(ms / 1000 % 60),
                             static_cast<int>(ms % 1000)};
        });
    }
    ~RunningClock() { SetClock({}); }
    RunningClock(const RunningClock&) = delete;
    RunningClock& operator=(const RunningClock&) = delete;

    // The milliseconds after 10:00 of every entry's stamp in a log, in the file's order; the
    // log with every stamp made FixedClock's.
    static std::vector<int> Stamps(std::string* log) {
        std::vector<int> stamps;
        const std::string hour = Sjis("時"), minute = Sjis("分"), second = Sjis("秒"),
                          colon = Sjis("：");
        for (std::size_t at = 0; (at = log->find(hour, at)) != std::string::npos;) {
            const std::size_t from = at - 2;
            int h = 0, m = 0, s = 0, ms = 0;
            const std::string stamp =
                log->substr(from, 2) + ' ' + log->substr(at + hour.size(), 2) + ' ' +
                log->substr(at + hour.size() + 2 + minute.size(), 2) + ' ' +
                log->substr(at + hour.size() + 4 + minute.size() + second.size(), 3);
            EXPECT_EQ(std::sscanf(stamp.c_str(), "%d %d %d %d", &h, &m, &s, &ms), 4) << stamp;
            stamps.push_back(((h - 10) * 60 + m) * 60000 + s * 1000 + ms);
            const std::size_t length =
                2 + hour.size() + 2 + minute.size() + 2 + second.size() + 3 + colon.size();
            log->replace(from, length, test::FixedClock::Stamp());
            at = from + test::FixedClock::Stamp().size();
        }
        return stamps;
    }
};

// Every port is asked at once: ten silent ports and the meter behind them cost one silent port's
// wait (the setting's port, first, is waited for), not ten. The log is written at the end, port
// by port in the search's order, each port's entries together and stamped when they were made.
TEST(FindMeter, AsksEveryPortAtOnceAndLogsEachPortsBytesTogether) {
    test::TempDir dir;
    test::FakeMachine machine;
    test::RealSerialOpener real;
    constexpr int kSilent = 10;
    std::vector<std::unique_ptr<metersim::MeterSim>> sims;
    std::vector<MeterCandidate> candidates;
    for (int i = 0; i <= kSilent; ++i) {
        metersim::Options o;
        o.silent = i < kSilent;  // the meter last, at 19200 baud
        o.linkPath = dir.File("tty" + std::to_string(i));
        sims.push_back(std::make_unique<metersim::MeterSim>(o));
        std::string error;
        ASSERT_TRUE(sims.back()->Start(&error)) << error;
        candidates.push_back({i + 1, o.linkPath, {}});
    }
    RunningClock clock;
    const CommLog log(dir.File("search.log"));
    bool loggedMeanwhile = false;
    const auto start = std::chrono::steady_clock::now();
    const MeterSearch search = FindMeter(
        candidates, log, PlainPause,
        [&](std::size_t, const ExchangeProgress&) {
            loggedMeanwhile = loggedMeanwhile || test::Exists(dir.File("search.log"));
            return true;
        },
        machine.roots);
    const auto took = std::chrono::steady_clock::now() - start;

    ASSERT_TRUE(search.found) << search.Describe();
    EXPECT_EQ(search.port.device, candidates.back().device);
    ASSERT_EQ(search.tries.size(), candidates.size());
    for (int i = 0; i < kSilent; ++i) {
        const SearchTry& t = search.tries[static_cast<std::size_t>(i)];
        EXPECT_EQ(t.port.device, candidates[static_cast<std::size_t>(i)].device);
        // The setting's port is waited out; the others are let go once the meter has answered.
        EXPECT_EQ(t.silent, i == 0) << i << ": " << t.reason;
        if (i > 0) {
            EXPECT_EQ(t.reason, "not waited for once the meter answered on COM11 (" +
                                    candidates.back().device + ")");
        }
        EXPECT_EQ(sims[static_cast<std::size_t>(i)]->Received(), Bytes{STX}) << i;
    }
    // One wait, not ten (generous: the real figures are the bench's).
    const auto wait = std::chrono::milliseconds(kSearchAnswerWaitMs);
    EXPECT_GE(took, wait);
    EXPECT_LT(took, 2 * wait);

    EXPECT_FALSE(loggedMeanwhile);
    std::string logged = test::ReadBytes(dir.File("search.log"));
    const std::vector<int> stamps = RunningClock::Stamps(&logged);
    std::string expected;
    for (int i = 0; i < kSilent; ++i) {
        const std::string label =
            "onSearch " + CandidateName(candidates[static_cast<std::size_t>(i)]);
        expected += test::ExpectLog({{label.c_str(), {}}, {"onSend", {STX}}});
    }
    const auto block = metersim::SampleBlock();
    const std::string label = "onSearch " + CandidateName(candidates.back());
    expected += test::ExpectLog({{label.c_str(), {}},
                                 {"onSend", {STX}},
                                 {"onReceive", Bytes(block.begin(), block.end())},
                                 {"onSend", {ACK}}});
    EXPECT_EQ(logged, expected);
    // Stamped when made, long before the silent port's wait ended and the log was written.
    ASSERT_EQ(stamps.size(), 2u * kSilent + 4);
    for (const int ms : stamps) EXPECT_LT(ms, kSearchAnswerWaitMs / 2);
    EXPECT_TRUE(std::is_sorted(stamps.end() - 4, stamps.end()));
}

// The setting's port (the first candidate) is taken when it answers, even after another port
// did; the other is acknowledged all the same. Where it answers first the search ends without
// waiting for the rest: an answer that has begun elsewhere is heard out and refused with a NAK,
// never left in the middle, and a silent port is let go.
TEST(FindMeter, TakesTheSettingsPortWhenTwoAnswerAndAnswersTheOther) {
    test::TempDir dir;
    test::FakeMachine machine;
    test::RealSerialOpener real;
    const CommLog log;
    auto start = [&](metersim::Options o, const std::string& name) {
        o.linkPath = dir.File(name);
        auto sim = std::make_unique<metersim::MeterSim>(o);
        std::string error;
        EXPECT_TRUE(sim->Start(&error)) << error;
        return sim;
    };
    const auto ours = metersim::SequenceBlock(0), theirs = metersim::SequenceBlock(0, 1);
    {
        // Ours at 19200 baud, another vehicle's meter at once.
        metersim::Options slow, quick;
        slow.answer.assign(ours.begin(), ours.end());
        quick.answer.assign(theirs.begin(), theirs.end());
        quick.pace = false;
        auto first = start(slow, "ours-tty");
        auto second = start(quick, "theirs-tty");
        const MeterCandidate setting{1, dir.File("ours-tty"), {}},
            other{2, dir.File("theirs-tty"), {}};
        const MeterSearch search = FindMeter({setting, other}, log, PlainPause, {}, machine.roots);
        ASSERT_TRUE(search.found) << search.Describe();
        EXPECT_EQ(search.port.device, setting.device);
        // Ours, not theirs (the check byte aside, which the line sets).
        const auto& got = search.read.reading.block;
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + kCheckByteOffset, ours.begin()));
        EXPECT_FALSE(std::equal(got.begin(), got.begin() + kCheckByteOffset, theirs.begin()));
        ASSERT_EQ(search.tries.size(), 2u);
        EXPECT_EQ(search.tries[1].outcome, ExchangeOutcome::kBlockReceived);
        EXPECT_EQ(search.tries[1].reason, "answered too; the search took " +
                                              CandidateName(setting) + ", first in its order");
        EXPECT_EQ(ReceivedSettled(*first), (Bytes{STX, ACK}));
        EXPECT_EQ(second->Received(), (Bytes{STX, ACK}));
    }
    {
        // Ours at once; another answering in slow pieces with a wrong check byte; a silent port.
        metersim::Options quick, pieces, silent;
        quick.answer.assign(ours.begin(), ours.end());
        quick.pace = false;
        pieces.answer.assign(theirs.begin(), theirs.end());
        pieces.pace = false;
        pieces.pieceSize = 54;
        pieces.pieceGapMs = 100;
        pieces.badChecks = 1;
        silent.silent = true;
        auto first = start(quick, "quick-tty");
        auto second = start(pieces, "pieces-tty");
        auto third = start(silent, "silent-tty");
        const MeterCandidate setting{1, dir.File("quick-tty"), {}},
            answering{2, dir.File("pieces-tty"), {}}, quiet{3, dir.File("silent-tty"), {}};
        const auto began = std::chrono::steady_clock::now();
        const MeterSearch search =
            FindMeter({setting, answering, quiet}, log, PlainPause, {}, machine.roots);
        const auto took = std::chrono::steady_clock::now() - began;
        ASSERT_TRUE(search.found) << search.Describe();
        EXPECT_EQ(search.port.device, setting.device);
        EXPECT_LT(took, std::chrono::milliseconds(kSearchAnswerWaitMs));
        ASSERT_EQ(search.tries.size(), 3u);
        const std::string taken = " once the meter answered on " + CandidateName(setting);
        EXPECT_EQ(search.tries[1].reason, "not asked again" + taken);
        EXPECT_EQ(search.tries[2].reason, "not waited for" + taken);
        EXPECT_FALSE(search.tries[2].silent);
        EXPECT_EQ(ReceivedSettled(*second), (Bytes{STX, NAK}));
        EXPECT_EQ(first->Received(), (Bytes{STX, ACK}));
        EXPECT_EQ(third->Received(), Bytes{STX});
    }
}

// The caller stops the search: every port stops at once, with nothing more sent; stopped before
// it starts, no port is opened at all.
TEST(FindMeter, StopsEveryPortAtOnceWhenTheCallerSaysSoAndFindsNothingWithoutAMeter) {
    test::TempDir dir;
    test::FakeMachine machine;
    ThreeLines lines(dir);
    metersim::Options slow;
    slow.pace = false;
    slow.pieceSize = 20;
    slow.pieceGapMs = 60;
    slow.linkPath = dir.File("slow-tty");
    metersim::MeterSim slowSim(slow);
    std::string error;
    ASSERT_TRUE(slowSim.Start(&error)) << error;
    const CommLog log;
    const std::vector<MeterCandidate> candidates{{1, dir.File("silent-tty"), {}},
                                                 {2, dir.File("slow-tty"), {}}};
    int polls = 0;
    const auto start = std::chrono::steady_clock::now();
    const MeterSearch stopped = FindMeter(
        candidates, log, PlainPause,
        [&](std::size_t, const ExchangeProgress&) { return ++polls < 5; }, machine.roots);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_FALSE(stopped.found);
    EXPECT_LT(took, std::chrono::milliseconds(kSearchAnswerWaitMs / 2));
    ASSERT_EQ(stopped.tries.size(), 2u);
    for (const SearchTry& t : stopped.tries) EXPECT_EQ(t.reason, "the search was stopped");
    // The slow meter was in the middle of its answer: no ACK, no NAK, no second STX.
    EXPECT_EQ(ReceivedSettled(slowSim), Bytes{STX});
    EXPECT_EQ(lines.Silent().Received(), Bytes{STX});

    const MeterSearch never = FindMeter(
        {{3, dir.File("meter-tty"), {}}}, log, PlainPause,
        [](std::size_t, const ExchangeProgress&) { return false; }, machine.roots);
    EXPECT_TRUE(never.cancelled);
    EXPECT_TRUE(never.tries.empty());
    EXPECT_TRUE(ReceivedSettled(lines.Meter()).empty());

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

}  // namespace
}  // namespace odomei
