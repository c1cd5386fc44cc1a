#include "link/SerialPort.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "platform/Clock.h"

namespace odomei {
namespace {

constexpr std::uint32_t kQueueSize = 1000;  // input and output queues asked for
constexpr std::uint32_t kReadChunk = 1024;  // largest single platform read
constexpr std::uint32_t kWriteChunk = 512;  // largest single platform write
constexpr std::uint32_t kDcbLength = 28;
constexpr std::uint32_t kDcbFlags = 0x81;  // fBinary and fTXContinueOnXoff only
constexpr std::uint16_t kXonLim = 100, kXoffLim = 200;
constexpr char kXonChar = 0x11, kXoffChar = 0x13, kEvtChar = 0x0A, kErrorChar = 0;
constexpr CommTimeouts kTimeouts{65535, 50, 500, 5, 50};
constexpr int kDefaultBaud = 9600;
constexpr int kAcceptedBauds[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

// A write gives up when the line has not taken the bytes by the write time-out plus the time
// the slowest accepted rate needs to send them (10 bits a byte at 1200 baud), or at once when
// the status query fails (the device has gone). Between checks it sleeps instead of spinning.
constexpr std::int64_t kSlowestByteMicros = 10 * 1000000 / 1200;
constexpr long kStatusPollMicros = 500;  // 0.5 ms: about one byte at 19200 baud
// How long a close waits for the output queue to empty: the whole queue (1000 bytes) takes about
// half a second at the meter's 19200 baud. Only a line held stopped takes longer.
constexpr std::int64_t kCloseDrainMicros = 1000000;

// Waits until the status query reports the transmit flag clear or the output queue empty.
// False when the query fails or the deadline passes.
enum class WaitFor { kTximClear, kOutputDrained };
bool WaitForLine(SerialDevice* device, WaitFor what, std::int64_t deadline) {
    for (;;) {
        ComStat stat;
        std::uint32_t errors = 0;
        if (!device->ClearCommError(&errors, &stat)) return false;
        const bool done =
            what == WaitFor::kTximClear ? (stat.flags & kComStatTxim) == 0 : stat.cbOutQue == 0;
        if (done) return true;
        if (MonotonicMicros() >= deadline) return false;
        SleepMicros(kStatusPollMicros);
    }
}

}  // namespace

int PortNumber(int setting) { return setting >= 1 && setting <= kMaxPortNumber ? setting : 1; }

std::string PortName(int port) { return ComName(PortNumber(port)); }

int OpenSerialPort(SerialHandle* slot, int port, int baud, int dataBits, int parity, int stopBits,
                   int overlapped, const PortMap& ports, Failure* failure) {
    return OpenSerialPortByName(slot, PortName(port), baud, dataBits, parity, stopBits, overlapped,
                                ports, failure);
}

int OpenSerialPortByName(SerialHandle* slot, const std::string& name, int baud, int dataBits,
                         int parity, int stopBits, int overlapped, const PortMap& ports,
                         Failure* failure) {
    Failure why;
    std::unique_ptr<SerialDevice> device = CreateSerialFile(name, overlapped != 0, &why, ports);
    if (!device) {
        if (failure) *failure = why;
        *slot = nullptr;
        return 0;
    }
    *slot = device.get();
    auto fail = [&](const std::string& reason) {
        if (failure) *failure = FailureOf(name, reason);
        *slot = nullptr;  // device closes as it goes out of scope
        return 0;
    };

    device->SetupComm(kQueueSize, kQueueSize);

    // The capability record is read twice: first to learn its size, then in full.
    CommProp probe;
    probe.wPacketLength = kCommPropSize;
    device->GetCommProperties(probe);
    CommProp prop;
    prop.wPacketLength = probe.wPacketLength;
    device->GetCommProperties(prop);

    DCB dcb;
    if (!device->GetCommState(dcb)) return fail("line settings unreadable: " + device->LastError());

    const bool capable =
        (prop.dwSettableParams & kSpBaud) && (prop.dwSettableBaud & kBaud4800) &&
        (prop.dwSettableParams & kSpDataBits) && (prop.wSettableData & kDataBits8) &&
        (prop.dwSettableParams & kSpParityCheck) && (prop.dwSettableParams & kSpParity) &&
        (prop.dwSettableParams & kSpStopBits) && (prop.dwSettableParams & kSpHandshaking) &&
        (prop.dwSettableParams & kSpRlsd);
    if (!capable) return fail("the port cannot take the line settings the meter needs");

    dcb.DCBlength = kDcbLength;
    dcb.BaudRate = std::find(std::begin(kAcceptedBauds), std::end(kAcceptedBauds), baud) !=
                           std::end(kAcceptedBauds)
                       ? static_cast<std::uint32_t>(baud)
                       : kDefaultBaud;
    dcb.flags = kDcbFlags;
    dcb.wReserved = 0;
    dcb.XonLim = kXonLim;
    dcb.XoffLim = kXoffLim;
    dcb.ByteSize = dataBits == 7 ? 7 : 8;
    dcb.Parity = parity == 1 ? kEvenParity : parity == 2 ? kOddParity : kNoParity;
    dcb.StopBits = stopBits == 2 ? kTwoStopBits : kOneStopBit;
    dcb.XonChar = kXonChar;
    dcb.XoffChar = kXoffChar;
    dcb.ErrorChar = kErrorChar;
    dcb.EvtChar = kEvtChar;
    dcb.wReserved1 = 0;
    // EofChar keeps what the device reported.
    if (!device->SetCommState(dcb)) return fail("line settings refused: " + device->LastError());

    CommTimeouts current;
    if (!device->GetCommTimeouts(current))
        return fail("time-outs unreadable: " + device->LastError());
    if (!(prop.dwProvCapabilities & kPcfIntTimeouts) ||
        !(prop.dwProvCapabilities & kPcfTotalTimeouts)) {
        return fail("the port has no read time-outs");
    }
    if (!device->SetCommTimeouts(kTimeouts))
        return fail("time-outs refused: " + device->LastError());
    device->PurgeComm(kPurgeRxClear);
    device->PurgeComm(kPurgeTxClear);
    *slot = device.release();
    return 1;
}

void CloseSerialPort(SerialHandle handle) {
    if (handle == nullptr) return;
    // The last byte sent (an ACK) must reach the meter: the output drains first, and is purged
    // only when it cannot, since a purge also empties a USB adapter's own transmit buffer.
    const bool drained =
        WaitForLine(handle, WaitFor::kOutputDrained, MonotonicMicros() + kCloseDrainMicros) &&
        handle->FlushFileBuffers();
    handle->PurgeComm(kPurgeRxClear);
    if (!drained) handle->PurgeComm(kPurgeTxClear);
    delete handle;
}

// Overlapped (asynchronous) transfers have no counterpart here: nothing in the program asks for
// them, so a call in that mode fails with 2.
int ReadSerial(SerialHandle handle, std::uint8_t* dest, int n, int overlapped) {
    if (handle == nullptr) return kSerialNoPort;
    if (overlapped != 0) return kSerialIoFailure;
    std::array<std::uint8_t, kReadChunk> work;
    int received = 0;
    while (received < n) {
        std::uint32_t errors = 0;
        ComStat stat;
        handle->ClearCommError(&errors, &stat);
        const std::uint32_t chunk = std::min<std::uint32_t>(n - received, kReadChunk);
        std::uint32_t got = 0;
        if (!handle->ReadFile(work.data(), chunk, &got) || got != chunk) return kSerialIoFailure;
        std::memcpy(dest + received, work.data(), chunk);
        received += static_cast<int>(chunk);
    }
    dest[std::max(n, 0)] = 0;
    return kSerialOk;
}

int WriteSerial(SerialHandle handle, const std::uint8_t* source, int n, int overlapped) {
    if (handle == nullptr) return kSerialNoPort;
    if (overlapped != 0) return kSerialIoFailure;
    const std::int64_t deadline =
        MonotonicMicros() +
        (kTimeouts.WriteTotalTimeoutConstant +
         std::int64_t{kTimeouts.WriteTotalTimeoutMultiplier} * std::max(n, 0)) *
            1000 +
        kSlowestByteMicros * std::max(n, 0);
    std::array<std::uint8_t, kWriteChunk> work;
    int sent = 0;
    while (sent < n) {
        const std::uint32_t chunk = std::min<std::uint32_t>(n - sent, kWriteChunk);
        std::memcpy(work.data(), source + sent, chunk);
        if (!WaitForLine(handle, WaitFor::kTximClear, deadline)) return kSerialIoFailure;
        std::uint32_t put = 0;
        if (!handle->WriteFile(work.data(), chunk, &put) || put != chunk) return kSerialIoFailure;
        if (!WaitForLine(handle, WaitFor::kTximClear, deadline)) return kSerialIoFailure;
        sent += static_cast<int>(chunk);
    }
    if (!WaitForLine(handle, WaitFor::kOutputDrained, deadline)) return kSerialIoFailure;
    return kSerialOk;
}

}  // namespace odomei
