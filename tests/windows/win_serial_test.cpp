// The serial line through the Win32 communications API, on Wine's COM1 with the Linux simulator
// on the other side. wine_serial_test.sh starts the simulator, sets ODOMEI_WINE_COM1 to a
// folder for the two to meet in, and replaces the simulator when asked (an adapter pulled out
// and plugged back); without it these tests are skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "data/Decoder.h"
#include "link/MeterSession.h"
#include "link/PortSurvey.h"
#include "link/ReadExchange.h"
#include "log/CommLog.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/PortFacts.h"
#include "platform/PortMap.h"
#include "platform/Text.h"
#include "platform/win/PortFacts.h"
#include "platform/win/SerialFault.h"
#include "tests/LogExpect.h"

namespace odomei {
namespace {

class WineSerial : public ::testing::Test {
protected:
    void SetUp() override {
        const char* meet = std::getenv("ODOMEI_WINE_COM1");
        if (meet == nullptr)
            GTEST_SKIP() << "no simulator on COM1 (wine_serial_test.sh runs these)";
        m_meet = std::string("Z:") + meet;
        m_previous = SetSerialOpener({});  // the real port, not the scripted line of the others
    }
    void TearDown() override {
        if (!m_meet.empty()) SetSerialOpener(m_previous);
    }
    std::string Meet(const std::string& name) const { return m_meet + "/" + name; }

    std::string m_meet;
    SerialOpener m_previous;
};

MeterRead ReadOnce(MeterSession& session) {
    session.PrepareRead();
    return session.Read(
        [&](int ms, bool untilInput) { return PlainPause(session.Port(), ms, untilInput); });
}

TEST_F(WineSerial, TheLineIsSetAsTheMeterNeedsAndTheSampleIsRead) {
    test::FixedClock clock;  // the banner stays in the log whenever midnight passes
    const std::string logPath = Meet("KORVANA.log");
    CommLog log(logPath);
    MeterSession session(log);
    Failure why;
    const auto lister = SystemPortLister();
    ASSERT_TRUE(session.Open("COM1", PortMap({}, lister.get()), &why)) << why.reason.en;

    DCB dcb;
    ASSERT_TRUE(session.Port()->GetCommState(dcb)) << session.Port()->LastError();
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, kNoParity);
    EXPECT_EQ(dcb.StopBits, kOneStopBit);
    EXPECT_EQ(dcb.flags & 0x3, 0x1u);  // binary, no parity check
    CommTimeouts timeouts;
    ASSERT_TRUE(session.Port()->GetCommTimeouts(timeouts));
    EXPECT_EQ(timeouts, (CommTimeouts{65535, 50, 500, 5, 50}));

    const MeterRead read = ReadOnce(session);
    ASSERT_EQ(read.outcome, ExchangeOutcome::kBlockReceived) << read.failure.reason.en;
    EXPECT_EQ(read.reading.records.size(), 15u);
    EXPECT_EQ(read.reading.version, "01.03");
    EXPECT_FALSE(session.Port()->Gone());
    session.Close();

    std::string bytes;
    ASSERT_EQ(ReadRegularFile(logPath, 1 << 20, &bytes), ReadResult::kRead);
    EXPECT_NE(bytes.find(Sjis(kStartBanner)), std::string::npos);
}

// The simulator goes and comes back on the same link, as an adapter pulled out and plugged
// back in: the port is known to be gone and is opened again at the next read.
TEST_F(WineSerial, APortThatWentAwayIsOpenedAgainAtTheNextRead) {
    CommLog log(Meet("replug.log"));
    MeterSession session(log);
    Failure why;
    const auto lister = SystemPortLister();
    ASSERT_TRUE(session.Open("COM1", PortMap({}, lister.get()), &why)) << why.reason.en;
    ASSERT_EQ(ReadOnce(session).outcome, ExchangeOutcome::kBlockReceived);

    std::ofstream(Meet("replug")) << "now";
    bool back = false;
    for (int i = 0; i < 100 && !back; ++i) {
        SleepMs(100);
        back = std::ifstream(Meet("replugged")).good();
    }
    ASSERT_TRUE(back) << "the simulator was not replaced";
    EXPECT_TRUE(session.Port()->Gone());
    const MeterRead read = ReadOnce(session);
    EXPECT_EQ(read.outcome, ExchangeOutcome::kBlockReceived) << read.failure.reason.en;
    EXPECT_EQ(read.reading.records.size(), 15u);
}

// Real USB serial drivers report a surprise removal each with its own code: every one makes the
// port gone, and the next read opens it again.
TEST_F(WineSerial, EveryCodeADriverGivesForAnUnpluggedAdapterMeansGone) {
    CommLog log(Meet("unplugged.log"));
    MeterSession session(log);
    Failure why;
    const auto lister = SystemPortLister();
    ASSERT_TRUE(session.Open("COM1", PortMap({}, lister.get()), &why)) << why.reason.en;
    constexpr DWORD kNoSuchDevice = 433;  // ERROR_NO_SUCH_DEVICE
    for (const DWORD code :
         {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_OPERATION_ABORTED}, DWORD{ERROR_FILE_NOT_FOUND},
          DWORD{ERROR_GEN_FAILURE}, DWORD{ERROR_BAD_COMMAND}, DWORD{ERROR_DEVICE_NOT_CONNECTED},
          kNoSuchDevice, DWORD{ERROR_DEVICE_REMOVED}}) {
        SCOPED_TRACE(code);
        winapi::UnplugOpenPorts(code);
        EXPECT_TRUE(session.Port()->Gone());
        const MeterRead read = ReadOnce(session);  // on a port opened anew, which works
        EXPECT_EQ(read.outcome, ExchangeOutcome::kBlockReceived) << read.failure.reason.en;
        EXPECT_EQ(read.reading.records.size(), 15u);
    }
    winapi::UnplugOpenPorts(0);
}

// The survey's trial open on a port that works: free while nobody has it, and never tried while
// this program has it open itself. (Wine grants a second exclusive open of a serial device, so a
// port held by another program is only seen through the seam, in win_ports_test.cpp.)
TEST_F(WineSerial, ThePortIsFreeAndOurOwnIsNeverTried) {
    const auto facts = [] { return GatherPortFacts("COM1", GatherMachineFacts({}), {}); };
    PortFacts free = facts();
    EXPECT_TRUE(free.exists && free.listed);
    EXPECT_TRUE(free.holders.empty());
    EXPECT_TRUE(free.failure.empty()) << free.failure;

    CommLog log(Meet("own.log"));
    MeterSession session(log);
    Failure why;
    const auto lister = SystemPortLister();
    ASSERT_TRUE(session.Open("COM1", PortMap({}, lister.get()), &why)) << why.reason.en;
    EXPECT_TRUE(winapi::OpenedHere("com1"));
    std::set<std::string> tried;
    winapi::PortSystemCalls calls;
    calls.tryOpen = [&](const std::string& device) -> DWORD {
        tried.insert(device);
        return ERROR_SHARING_VIOLATION;  // as Windows answers while a handle is open
    };
    const winapi::PortSystemCalls previous = winapi::SetPortCalls(std::move(calls));
    const PortFacts own = facts();
    EXPECT_TRUE(own.exists);
    EXPECT_TRUE(own.holders.empty()) << "the program's own port taken for another's";
    EXPECT_TRUE(tried.empty());
    session.Close();
    EXPECT_FALSE(winapi::OpenedHere("COM1"));
    EXPECT_EQ(facts().holders.size(), 1u);  // now the answer is another program's
    winapi::SetPortCalls(previous);
}

}  // namespace
}  // namespace odomei
