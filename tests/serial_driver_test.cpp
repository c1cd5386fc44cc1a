// The serial port driver against the scripted device: the open's rules and order, chunking,
// results, and writes that cannot hang on a vanished or stuck line.
#include <gtest/gtest.h>

#include <chrono>

#include "link/SerialPort.h"
#include "tests/FakeSerial.h"

namespace odomei {
namespace {

using test::FakeLine;
using test::FakeOpener;

class Driver : public ::testing::Test {
protected:
    ~Driver() override {
        if (handle != nullptr) CloseSerialPort(handle);
    }
    int Open(int port = 1, int baud = 19200, int dataBits = 8, int parity = 0, int stopBits = 1) {
        if (handle != nullptr) CloseSerialPort(handle);
        line->calls.clear();
        return OpenSerialPort(&handle, port, baud, dataBits, parity, stopBits, 0, {}, &failure);
    }
    Failure failure;
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    FakeOpener opener{line};
    SerialHandle handle = nullptr;
};

TEST_F(Driver, PortNumbersOutsideOneTo255OpenCom1) {
    for (int port : {0, -1, 256, 1000, 1, 9, 10, 12, 255}) Open(port);
    EXPECT_EQ(opener.names, (std::vector<std::string>{"COM1", "COM1", "COM1", "COM1", "COM1",
                                                      "COM9", "COM10", "COM12", "COM255"}));
}

TEST_F(Driver, OpensInTheFixedOrderWithTheTwoStepCapabilityRead) {
    ASSERT_EQ(Open(), 1);
    EXPECT_EQ(line->calls,
              (std::vector<std::string>{"SetupComm(1000,1000)", "GetCommProperties(64)",
                                        "GetCommProperties(80)", "GetCommState", "SetCommState",
                                        "GetCommTimeouts", "SetCommTimeouts", "PurgeComm(8)",
                                        "PurgeComm(4)"}));
    ASSERT_NE(handle, nullptr);
    const DCB& d = line->state;
    EXPECT_EQ(d.DCBlength, 28u);
    EXPECT_EQ(d.BaudRate, 19200u);
    EXPECT_EQ(d.flags, 0x81u);
    EXPECT_EQ(d.wReserved, 0);
    EXPECT_EQ(d.XonLim, 100);
    EXPECT_EQ(d.XoffLim, 200);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, kNoParity);
    EXPECT_EQ(d.StopBits, kOneStopBit);
    EXPECT_EQ(d.XonChar, 0x11);
    EXPECT_EQ(d.XoffChar, 0x13);
    EXPECT_EQ(d.ErrorChar, 0);
    EXPECT_EQ(d.EofChar, 0x1A);  // kept as the device reported it
    EXPECT_EQ(d.EvtChar, 0x0A);
    EXPECT_EQ(d.wReserved1, 0);
    EXPECT_EQ(line->timeouts, (CommTimeouts{65535, 50, 500, 5, 50}));

    // The close lets what was sent leave first, and then throws none of it away ...
    line->calls.clear();
    CloseSerialPort(handle);
    handle = nullptr;
    EXPECT_EQ(line->calls, (std::vector<std::string>{"ClearCommError", "FlushFileBuffers",
                                                     "PurgeComm(8)", "CloseHandle"}));
    // ... unless it cannot drain.
    ASSERT_EQ(Open(), 1);
    line->failing.insert("FlushFileBuffers");
    line->calls.clear();
    CloseSerialPort(handle);
    handle = nullptr;
    EXPECT_EQ(line->Only({"FlushFileBuffers", "PurgeComm", "CloseHandle"}),
              (std::vector<std::string>{"FlushFileBuffers", "PurgeComm(8)", "PurgeComm(4)",
                                        "CloseHandle"}));
}

TEST_F(Driver, LineParametersMapAsTheProgramDefinesThem) {
    const struct {
        int baud, dataBits, parity, stopBits;
        std::uint32_t wantBaud;
        std::uint8_t wantBits, wantParity, wantStop;
    } cases[] = {
        {300, 8, 0, 1, 9600, 8, kNoParity, kOneStopBit},
        {600, 5, 0, 0, 9600, 8, kNoParity, kOneStopBit},
        {14400, 6, 1, 2, 14400, 8, kEvenParity, kTwoStopBits},
        {115200, 7, 2, 3, 115200, 7, kOddParity, kOneStopBit},
        {1200, 8, 3, 1, 1200, 8, kNoParity, kOneStopBit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        ASSERT_EQ(Open(1, c.baud, c.dataBits, c.parity, c.stopBits), 1);
        EXPECT_EQ(line->state.BaudRate, c.wantBaud);
        EXPECT_EQ(line->state.ByteSize, c.wantBits);
        EXPECT_EQ(line->state.Parity, c.wantParity);
        EXPECT_EQ(line->state.StopBits, c.wantStop);
    }
}

TEST_F(Driver, EveryMissingCapabilityRefusesTheOpenAndEmptiesTheSlot) {
    const std::uint32_t params[] = {kSpBaud,     kSpDataBits,    kSpParityCheck, kSpParity,
                                    kSpStopBits, kSpHandshaking, kSpRlsd};
    for (std::uint32_t bit : params) {
        SCOPED_TRACE(bit);
        line->prop = FakeLine::FullCapabilities();
        line->prop.dwSettableParams &= ~bit;
        EXPECT_EQ(Open(), 0);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(line->Count("SetCommState"), 0u);
        EXPECT_EQ(line->calls.back(), "CloseHandle");
    }
    // 4800 baud is what is tested, whatever rate is asked for and whatever else is there.
    line->prop = FakeLine::FullCapabilities();
    line->prop.dwSettableBaud = kBaud19200 | kBaud9600;
    EXPECT_EQ(Open(), 0);
    line->prop = FakeLine::FullCapabilities();
    line->prop.wSettableData = kDataBits7;
    EXPECT_EQ(Open(1, 19200, 7), 0);
    // The time-out capabilities are looked at only after the line settings are applied.
    for (std::uint32_t caps : {kPcfTotalTimeouts, kPcfIntTimeouts}) {
        line->prop = FakeLine::FullCapabilities();
        line->prop.dwProvCapabilities = caps;
        EXPECT_EQ(Open(), 0);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(line->Count("SetCommState"), 1u);
        EXPECT_EQ(line->Count("SetCommTimeouts"), 0u);
        EXPECT_EQ(line->calls.back(), "CloseHandle");
    }
}

TEST_F(Driver, AnyFailingStepClosesTheDeviceAndEmptiesTheSlot) {
    for (const char* step :
         {"GetCommState", "SetCommState", "GetCommTimeouts", "SetCommTimeouts"}) {
        SCOPED_TRACE(step);
        line->failing = {step};
        EXPECT_EQ(Open(), 0);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(line->calls.back(), "CloseHandle");
    }
    // The results of these are not looked at.
    line->failing = {"SetupComm", "GetCommProperties", "PurgeComm"};
    EXPECT_EQ(Open(), 1);
    line->failing = {"CreateFile"};
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(failure.subject, "/dev/fake-COM1");
}

TEST_F(Driver, ReadsAndWritesGoInChunksAndEndWithAZeroByte) {
    ASSERT_EQ(Open(), 1);
    std::vector<std::uint8_t> dest(1501, 0xEE);
    for (int i = 0; i < 1500; ++i) line->incoming.push_back(static_cast<std::uint8_t>(i * 3));
    line->calls.clear();
    EXPECT_EQ(ReadSerial(handle, dest.data(), 1500, 0), 0);
    EXPECT_EQ(line->Only({"ReadFile"}),
              (std::vector<std::string>{"ReadFile(1024)", "ReadFile(476)"}));
    EXPECT_EQ(line->Count("ClearCommError"), 2u);
    for (int i = 0; i < 1500; ++i) ASSERT_EQ(dest[i], static_cast<std::uint8_t>(i * 3)) << i;
    EXPECT_EQ(dest[1500], 0);

    line->calls.clear();
    EXPECT_EQ(ReadSerial(handle, dest.data(), 0, 0), 0);
    EXPECT_EQ(dest[0], 0);
    EXPECT_EQ(line->Count("ReadFile"), 0u);

    std::vector<std::uint8_t> source(600);
    for (int i = 0; i < 600; ++i) source[i] = static_cast<std::uint8_t>(i);
    line->calls.clear();
    EXPECT_EQ(WriteSerial(handle, source.data(), 600, 0), 0);
    EXPECT_EQ(line->Only({"WriteFile"}),
              (std::vector<std::string>{"WriteFile(512)", "WriteFile(88)"}));
    EXPECT_EQ(line->written, source);

    line->calls.clear();
    EXPECT_EQ(WriteSerial(handle, source.data(), 0, 0), 0);
    EXPECT_EQ(line->Count("WriteFile"), 0u);
    EXPECT_GE(line->Count("ClearCommError"), 1u);  // the output queue is still waited for
}

TEST_F(Driver, ShortOrFailedTransfersReturnTwoAndKeepEarlierChunks) {
    ASSERT_EQ(Open(), 1);
    std::vector<std::uint8_t> dest(1501, 0xEE);
    for (int i = 0; i < 1100; ++i) line->incoming.push_back(0x41);
    EXPECT_EQ(ReadSerial(handle, dest.data(), 1500, 0), 2);
    EXPECT_EQ(dest[1023], 0x41);
    EXPECT_EQ(dest[1024], 0xEE);  // the cut-short chunk is not copied
    EXPECT_EQ(dest[1500], 0xEE);

    line->failing = {"ReadFile"};
    EXPECT_EQ(ReadSerial(handle, dest.data(), 1, 0), 2);
    line->failing = {"WriteFile"};
    const std::uint8_t stx = 0x02;
    EXPECT_EQ(WriteSerial(handle, &stx, 1, 0), 2);
    line->failing.clear();
    line->writeAccepts = 0;
    EXPECT_EQ(WriteSerial(handle, &stx, 1, 0), 2);
    // No asynchronous path on this platform.
    EXPECT_EQ(ReadSerial(handle, dest.data(), 1, 1), 2);
    EXPECT_EQ(WriteSerial(handle, &stx, 1, 1), 2);
}

TEST_F(Driver, NoPortReturnsOneAndCallsNothing) {
    std::uint8_t buf[4] = {9, 9, 9, 9};
    EXPECT_EQ(ReadSerial(nullptr, buf, 3, 0), 1);
    EXPECT_EQ(WriteSerial(nullptr, buf, 3, 0), 1);
    EXPECT_EQ(buf[0], 9);
    EXPECT_TRUE(line->calls.empty());
}

TEST_F(Driver, WriteGivesUpOnAVanishedOrStuckLineInsteadOfHanging) {
    ASSERT_EQ(Open(), 1);
    const std::uint8_t stx = 0x02;
    // The status query fails: the device has gone.
    line->statusFailsAfter = line->statusCalls;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WriteSerial(handle, &stx, 1, 0), 2);
    EXPECT_EQ(line->Count("WriteFile"), 0u);

    // The output queue never empties: the write ends after its time-out.
    line->statusFailsAfter = -1;
    line->outQueue = 1;
    line->calls.clear();
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(WriteSerial(handle, &stx, 1, 0), 2);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(5));  // generous: it must end, not be fast
    // It slept between checks rather than spinning: a few hundred checks, not millions.
    EXPECT_LT(line->Count("ClearCommError"), 1000u);
}

}  // namespace
}  // namespace odomei
