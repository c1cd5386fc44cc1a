// The serial line as the driver sees it: the effects of the Windows communications calls, given
// on Linux by termios (SerialDevice.cpp) or by a scripted fake in the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Failure.h"

namespace odomei {

// Capability record. The provider sets wPacketLength to the size it needs.
struct CommProp {
    std::uint16_t wPacketLength = 0;
    std::uint16_t wPacketVersion = 0;
    std::uint32_t dwServiceMask = 0;
    std::uint32_t dwMaxTxQueue = 0;
    std::uint32_t dwMaxRxQueue = 0;
    std::uint32_t dwMaxBaud = 0;
    std::uint32_t dwProvSubType = 0;
    std::uint32_t dwProvCapabilities = 0;
    std::uint32_t dwSettableParams = 0;
    std::uint32_t dwSettableBaud = 0;
    std::uint16_t wSettableData = 0;
    std::uint16_t wSettableStopParity = 0;
    std::uint32_t dwCurrentTxQueue = 0;
    std::uint32_t dwCurrentRxQueue = 0;
};
constexpr std::uint16_t kCommPropSize = 64;  // the size of the record the provider fills

// Line settings.
struct DCB {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    std::uint32_t flags = 0;  // fBinary is bit 0, fParity bit 1, ... fAbortOnError bit 14
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    std::uint16_t wReserved1 = 0;

    bool operator==(const DCB&) const = default;
};

struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const CommTimeouts&) const = default;
};

// Line status: the flag word (fTxim is bit 6) and the bytes waiting in and out.
struct ComStat {
    std::uint32_t flags = 0;
    std::uint32_t cbInQue = 0;
    std::uint32_t cbOutQue = 0;
};
constexpr std::uint32_t kComStatTxim = 0x40;

// Values of the records and calls.
constexpr std::uint32_t kSpParity = 0x0001, kSpBaud = 0x0002, kSpDataBits = 0x0004,
                        kSpStopBits = 0x0008, kSpHandshaking = 0x0010, kSpParityCheck = 0x0020,
                        kSpRlsd = 0x0040;
constexpr std::uint32_t kBaud1200 = 0x40, kBaud2400 = 0x100, kBaud4800 = 0x200, kBaud9600 = 0x800,
                        kBaud14400 = 0x1000, kBaud19200 = 0x2000, kBaud38400 = 0x4000,
                        kBaud57600 = 0x40000, kBaud115200 = 0x20000;
constexpr std::uint16_t kDataBits7 = 0x0004, kDataBits8 = 0x0008;
constexpr std::uint16_t kStopBits10 = 0x0001, kStopBits20 = 0x0004, kParityNone = 0x0100,
                        kParityOdd = 0x0200, kParityEven = 0x0400;
constexpr std::uint32_t kPcfDtrDsr = 0x01, kPcfRtsCts = 0x02, kPcfRlsd = 0x04,
                        kPcfParityCheck = 0x08, kPcfXonXoff = 0x10, kPcfSetXChar = 0x20,
                        kPcfTotalTimeouts = 0x40, kPcfIntTimeouts = 0x80;
constexpr std::uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2;
constexpr std::uint8_t kOneStopBit = 0, kTwoStopBits = 2;
constexpr std::uint32_t kPurgeTxAbort = 0x1, kPurgeRxAbort = 0x2, kPurgeTxClear = 0x4,
                        kPurgeRxClear = 0x8;
constexpr std::uint32_t kSetRts = 3, kClrRts = 4, kSetDtr = 5, kClrDtr = 6;
constexpr std::uint32_t kEvRxChar = 0x0001;

// One open serial device. Every call returns false on failure; LastError() then says why.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    virtual bool SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) = 0;
    virtual bool GetCommProperties(CommProp& prop) = 0;
    virtual bool GetCommState(DCB& dcb) = 0;
    virtual bool SetCommState(const DCB& dcb) = 0;
    virtual bool GetCommTimeouts(CommTimeouts& timeouts) = 0;
    virtual bool SetCommTimeouts(const CommTimeouts& timeouts) = 0;
    virtual bool PurgeComm(std::uint32_t flags) = 0;
    virtual bool ClearCommError(std::uint32_t* errors, ComStat* stat) = 0;
    virtual bool SetCommMask(std::uint32_t mask) = 0;
    virtual bool EscapeCommFunction(std::uint32_t function) = 0;
    // Move up to n bytes, honouring the time-outs; *done receives the count actually moved.
    virtual bool ReadFile(std::uint8_t* buffer, std::uint32_t n, std::uint32_t* done) = 0;
    virtual bool WriteFile(const std::uint8_t* buffer, std::uint32_t n, std::uint32_t* done) = 0;
    // Returns once the bytes written have left the device, its own transmit buffer included.
    virtual bool FlushFileBuffers() = 0;
    // Waits up to ms for bytes to arrive (or the line to go); true when there is something to
    // look at. Lets an idle pause end as soon as the meter speaks.
    virtual bool WaitForInput(int ms) = 0;
    virtual std::string LastError() const = 0;
    // True once the device is known to have gone: the line hung up or the driver reported the
    // device missing (an adapter pulled out). Such a handle never works again.
    virtual bool Gone() const = 0;
};

class PortMap;

// Opens a port for exclusive reading and writing: "COMn" as the map leads it, or a device path.
// Nothing on failure, which then names the device tried and says why in plain words.
using SerialOpener = std::function<std::unique_ptr<SerialDevice>(
    const std::string& name, bool overlapped, Failure* failure)>;
std::unique_ptr<SerialDevice> CreateSerialFile(const std::string& name, bool overlapped,
                                               Failure* failure, const PortMap& ports);
// Tests replace the opener; returns the one replaced. An empty function restores termios.
SerialOpener SetSerialOpener(SerialOpener opener);
// True while ports are opened by the system (no opener was set in its place).
bool SystemSerialOpener();

// The device itself, opened by path (used by the opener once the name is mapped): a termios
// device, or on Windows a COM port or device path. A device that does not exist is described
// with the ports the map knows.
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, Failure* failure,
                                               const PortMap& ports);

}  // namespace odomei
