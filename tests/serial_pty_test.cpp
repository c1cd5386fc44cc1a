// The driver on a real pseudo-terminal with the simulated meter on the other side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "data/Decoder.h"
#include "link/SerialPort.h"
#include "platform/PortMap.h"
#include "tests/MeterLine.h"

namespace odomei {
namespace {

using Clock = std::chrono::steady_clock;

class PtyDriver : public ::testing::Test {
protected:
    ~PtyDriver() override {
        if (handle != nullptr) CloseSerialPort(handle);
    }
    // COM1 as KORVANA.ini of the test's folder maps it.
    int Open(SerialHandle* slot) {
        return OpenSerialPort(slot, 1, 19200, 8, 0, 1, 0, PortMap(dir.File("KORVANA.ini"), nullptr),
                              &failure);
    }
    test::TempDir dir;
    Failure failure;
    SerialHandle handle = nullptr;
};

TEST_F(PtyDriver, OpensWritesStxAndReadsTheWholeAnswer) {
    test::MeterLine meter(dir);
    ASSERT_EQ(Open(&handle), 1);
    ASSERT_NE(handle, nullptr);
    const std::uint8_t stx = metersim::STX;
    ASSERT_EQ(WriteSerial(handle, &stx, 1, 0), 0);
    std::uint8_t block[metersim::kBlockSize + 1];
    ASSERT_EQ(ReadSerial(handle, block, metersim::kBlockSize, 0), 0);
    const auto sample = metersim::SampleBlock();
    EXPECT_TRUE(std::equal(sample.begin(), sample.end(), block));
    EXPECT_EQ(block[metersim::kBlockSize], 0);
    ASSERT_TRUE(meter.Sim().WaitForReceived(1, 2000));
    EXPECT_EQ(meter.Sim().Received(), std::vector<std::uint8_t>{metersim::STX});
    // Modem lines do not exist on a pseudo-terminal; asking for them fails and harms nothing.
    EXPECT_FALSE(handle->EscapeCommFunction(kSetRts));
}

TEST_F(PtyDriver, SecondOpenOfAHeldPortFailsEvenForRoot) {
    test::MeterLine meter(dir);
    ASSERT_EQ(Open(&handle), 1);
    SerialHandle second = reinterpret_cast<SerialHandle>(0x1);
    EXPECT_EQ(Open(&second), 0);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(failure.reason.en.find("busy"), std::string::npos) << failure.reason.en;
    // Once the first lets go, the port opens again.
    CloseSerialPort(handle);
    handle = nullptr;
    EXPECT_EQ(Open(&handle), 1);
}

TEST_F(PtyDriver, ReadOnASilentLineTimesOutAfterItsTotalTimeout) {
    metersim::Options silent;
    silent.silent = true;
    test::MeterLine meter(dir, silent);
    ASSERT_EQ(Open(&handle), 1);
    std::uint8_t buf[2];
    const auto start = Clock::now();
    EXPECT_EQ(ReadSerial(handle, buf, 1, 0), 2);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(500));  // 500 + 50 x 1 ms
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(PtyDriver, HangUpEndsReadsAndWritesPromptly) {
    metersim::Options options;
    options.hangupAfter = 50;  // paced: the line goes some 26 ms after the STX has left
    test::MeterLine meter(dir, options);
    ASSERT_EQ(Open(&handle), 1);
    const std::uint8_t stx = metersim::STX;
    ASSERT_EQ(WriteSerial(handle, &stx, 1, 0), 0);
    std::uint8_t buf[metersim::kBlockSize + 1];
    const auto start = Clock::now();
    EXPECT_EQ(ReadSerial(handle, buf, metersim::kBlockSize, 0), 2);
    EXPECT_EQ(WriteSerial(handle, &stx, 1, 0), 2);
    ComStat stat;
    EXPECT_FALSE(handle->ClearCommError(nullptr, &stat));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));  // not the whole read time-out
}

TEST_F(PtyDriver, ClosingClearsTheExclusiveFlagForTheNextUser) {
    test::MeterLine meter(dir);
    ASSERT_EQ(Open(&handle), 1);
    CloseSerialPort(handle);
    handle = nullptr;
    // The simulator keeps the line open, so the flag would stay on it (and lock out every user
    // but root) unless the close cleared it.
    const int fd = open(meter.Sim().SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    int exclusive = -1;
    ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(fd);
}

TEST_F(PtyDriver, MissingDeviceNamesThePathAndThePortsThatExist) {
    test::RealSerialOpener real;
    WriteIniString(kPortsSection, "COM1", dir.File("no-such-tty"), dir.File("KORVANA.ini"));
    SerialHandle slot = nullptr;
    EXPECT_EQ(Open(&slot), 0);
    EXPECT_EQ(failure.subject, dir.File("no-such-tty"));
    EXPECT_NE(failure.reason.en.find("no such device"), std::string::npos);
    EXPECT_NE(failure.reason.en.find("erial port"), std::string::npos);
    // A file that is not a terminal is no serial port either.
    test::WriteBytes(dir.File("plain"), "x");
    WriteIniString(kPortsSection, "COM1", dir.File("plain"), dir.File("KORVANA.ini"));
    EXPECT_EQ(Open(&slot), 0);
    EXPECT_NE(failure.reason.en.find("not a serial port"), std::string::npos);
}

}  // namespace
}  // namespace odomei

namespace odomei {
namespace {

// The simulator's built-in history is what a driver would see: fifteen records in date order,
// a few hundred km each, fuel close to what was refilled, correction near 100 %.
TEST(MeterSimSample, DecodesToFifteenPlausibleRecords) {
    const auto block = metersim::SampleBlock();
    EXPECT_EQ(BlockCheck(MeasurementBlock(block)), block[kCheckByteOffset]);
    RecordTable table;
    EXPECT_EQ(DecodeBlock(MeasurementBlock(block), table), "01.03");
    ASSERT_EQ(table.m_nRecordCount, 15);
    for (int i = 0; i < 15; ++i) {
        const RecordRow& r = table.m_rows[i];
        if (i > 0) {
            EXPECT_LT(table.m_rows[i - 1].m_strDate, r.m_strDate);
        }
        EXPECT_GT(std::stod(r.m_strDistance), 300.0);
        EXPECT_LT(std::stod(r.m_strDistance), 600.0);
        EXPECT_NEAR(std::stod(r.m_strCorrection), 100.0, 1.0);
        EXPECT_LT(std::abs(std::stod(r.m_strError)), 3.0) << r.m_strError;
    }
}

}  // namespace
}  // namespace odomei
