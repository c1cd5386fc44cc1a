// Finding the meter among ports that stay silent or answer garbage, and the order it looks at
// the surveyed ports in.
#include <gtest/gtest.h>

#include <chrono>

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

}  // namespace
}  // namespace odomei
