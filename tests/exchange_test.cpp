// The read-out exchange against the scripted device: the branches a pseudo-terminal cannot
// produce, the buffer bound and the idle-poll limit.
#include <gtest/gtest.h>

#include "link/ReadExchange.h"
#include "log/CommLog.h"
#include "platform/Clock.h"
#include "platform/Text.h"
#include "tests/FakeSerial.h"
#include "tests/LogExpect.h"
#include "tests/TestSupport.h"
#include "tools/metersim/MeterSim.h"

namespace odomei {
namespace {

using test::Bytes;

class Exchange : public ::testing::Test {
protected:
    Exchange() {
        const auto sample = metersim::SampleBlock();
        block.assign(sample.begin(), sample.end());
        device = std::make_unique<test::FakeSerialDevice>(line);
    }

    ExchangeResult Run() {
        return RunReadExchange(device.get(), log, [this](int ms, bool untilInput) {
            pauses.push_back(ms);
            // Only an idle poll's pause may end at the meter's input.
            EXPECT_TRUE(!untilInput || ms == 10);
            EXPECT_TRUE(ms != 100 || !untilInput);
            return ms;  // as if the whole time had passed
        });
    }
    static std::string Expect(std::initializer_list<std::pair<const char*, Bytes>> entries) {
        return test::ExpectLog(entries);
    }
    std::string Log() const { return test::ReadBytes(dir.File("KORVANA.log")); }
    // What the meter answers to the next STX.
    void Answer(const Bytes& b) { line->answers.push_back(b); }

    test::TempDir dir;
    CommLog log{dir.File("KORVANA.log")};
    test::FixedClock clock;
    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    std::unique_ptr<test::FakeSerialDevice> device;
    std::vector<int> pauses;
    Bytes block;
};

TEST_F(Exchange, FailedStxWriteEndsAtOnceWithNothingLogged) {
    line->failingWrites = {0};
    EXPECT_EQ(Run().outcome, ExchangeOutcome::kStxFailed);
    EXPECT_FALSE(test::Exists(dir.File("KORVANA.log")));
    EXPECT_STREQ(ExchangeFailureText(ExchangeOutcome::kStxFailed),
                 "コマンド送信処理でエラーが発生しました(STX)");
}

TEST_F(Exchange, FailedNakWriteEndsAfterTheBadBlock) {
    Bytes bad = block;
    bad.back() ^= 1;
    Answer(bad);
    line->failingWrites = {1};
    EXPECT_EQ(Run().outcome, ExchangeOutcome::kNakFailed);
    EXPECT_EQ(Log(), Expect({{"onSend", {STX}}, {"onReceive", bad}}));
    EXPECT_STREQ(ExchangeFailureText(ExchangeOutcome::kNakFailed),
                 "コマンド送信処理でエラーが発生しました(NAK)");
}

TEST_F(Exchange, FailedAckWriteDiscardsTheBlock) {
    Answer(block);
    line->failingWrites = {1};
    EXPECT_EQ(Run().outcome, ExchangeOutcome::kAckFailed);
    EXPECT_EQ(Log(), Expect({{"onSend", {STX}}, {"onReceive", block}}));
    EXPECT_STREQ(ExchangeFailureText(ExchangeOutcome::kAckFailed),
                 "コマンド送信処理でエラーが発生しました(ACK)");
}

TEST_F(Exchange, FailedReadWithBytesHeldLogsThemUnderOnClearAndStartsOver) {
    const Bytes junk = {0x11, 0x22, 0x33, 0x44, 0x55};
    Bytes answer = junk;
    answer.insert(answer.end(), block.begin(), block.end());
    Answer(answer);
    line->pieces = {5, 216};
    line->failingReads = {1};
    const ExchangeResult r = Run();
    ASSERT_EQ(r.outcome, ExchangeOutcome::kBlockReceived);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), r.block.begin()));
    EXPECT_EQ(
        Log(),
        Expect({{"onSend", {STX}}, {"onClear", junk}, {"onReceive", block}, {"onSend", {ACK}}}));
    EXPECT_EQ(line->written, (Bytes{STX, ACK}));
}

TEST_F(Exchange, ReadsNeverAskForMoreThanTheBufferHolds) {
    Bytes flood(2000, 0x41);
    std::copy(block.begin(), block.end(), flood.begin());
    Answer(flood);
    const ExchangeResult r = Run();
    EXPECT_EQ(r.outcome, ExchangeOutcome::kBlockReceived);
    EXPECT_EQ(line->Only({"ReadFile"}), std::vector<std::string>{"ReadFile(999)"});
    EXPECT_EQ(Log(), Expect({{"onSend", {STX}},
                             {"onReceive", Bytes(flood.begin(), flood.begin() + 999)},
                             {"onSend", {ACK}}}));
}

TEST_F(Exchange, SilenceTimesOutAtTheThousandAndSecondIdlePoll) {
    EXPECT_EQ(Run().outcome, ExchangeOutcome::kTimedOut);
    EXPECT_EQ(pauses.size(), 1002u);
    EXPECT_EQ(pauses.front(), 10);
    EXPECT_EQ(Log(), Expect({{"onSend", {STX}}}));
    EXPECT_EQ(line->written, Bytes{STX});
}

TEST_F(Exchange, VanishedDeviceEndsTheAttemptAtOnceAsATimeOut) {
    Answer(Bytes(block.begin(), block.begin() + 100));
    line->statusFailsAfterReads = 1;  // the device goes after the first piece
    EXPECT_EQ(Run().outcome, ExchangeOutcome::kTimedOut);
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(Log(), Expect({{"onSend", {STX}},
                             {"onReceive", Bytes(block.begin(), block.begin() + 100)}}));
}

TEST_F(Exchange, ThreeBadBlocksGiveThreeNaksWithPausesAndTheBccError) {
    Bytes bad = block;
    bad.back() ^= 1;
    for (int i = 0; i < 3; ++i) Answer(bad);
    EXPECT_EQ(Run().outcome, ExchangeOutcome::kBccError);
    EXPECT_EQ(line->written, (Bytes{STX, NAK, STX, NAK, STX, NAK}));
    EXPECT_EQ(std::count(pauses.begin(), pauses.end(), 100), 3);
    EXPECT_STREQ(ExchangeFailureText(ExchangeOutcome::kBccError), "ＢＣＣエラーが発生しました");
    // Each attempt purges what is left in the input queue before it asks again.
    EXPECT_EQ(line->Count("PurgeComm(8)"), 3u);
}

}  // namespace
}  // namespace odomei
