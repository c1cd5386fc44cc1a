// The serial line as the driver sees it: the effects of the Windows communications calls, given
// on Linux by termios (SerialLine.cpp) or by a scripted fake in the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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
constexpr std::uint32_t SP_PARITY = 0x0001, SP_BAUD = 0x0002, SP_DATABITS = 0x0004,
                        SP_STOPBITS = 0x0008, SP_HANDSHAKING = 0x0010, SP_PARITY_CHECK = 0x0020,
                        SP_RLSD = 0x0040;
constexpr std::uint32_t BAUD_1200 = 0x40, BAUD_2400 = 0x80, BAUD_4800 = 0x200, BAUD_9600 = 0x800,
                        BAUD_14400 = 0x1000, BAUD_19200 = 0x2000, BAUD_38400 = 0x4000,
                        BAUD_57600 = 0x40000, BAUD_115200 = 0x20000;
constexpr std::uint16_t DATABITS_7 = 0x0008, DATABITS_8 = 0x0010;
constexpr std::uint16_t STOPBITS_10 = 0x0001, STOPBITS_20 = 0x0004, PARITY_NONE = 0x0100,
                        PARITY_ODD = 0x0200, PARITY_EVEN = 0x0400;
constexpr std::uint32_t PCF_DTRDSR = 0x01, PCF_RTSCTS = 0x02, PCF_RLSD = 0x04,
                        PCF_PARITY_CHECK = 0x08, PCF_XONXOFF = 0x10, PCF_SETXCHAR = 0x20,
                        PCF_TOTALTIMEOUTS = 0x40, PCF_INTTIMEOUTS = 0x80;
constexpr std::uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2;
constexpr std::uint8_t ONESTOPBIT = 0, TWOSTOPBITS = 2;
constexpr std::uint32_t PURGE_TXABORT = 0x1, PURGE_RXABORT = 0x2, PURGE_TXCLEAR = 0x4,
                        PURGE_RXCLEAR = 0x8;
constexpr std::uint32_t SETRTS = 3, CLRRTS = 4, SETDTR = 5, CLRDTR = 6;
constexpr std::uint32_t EV_RXCHAR = 0x0001;

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
    // Waits up to ms for bytes to arrive (or the line to go); true when there is something to
    // look at. Lets an idle pause end as soon as the meter speaks.
    virtual bool WaitForInput(int ms) = 0;
    virtual std::string LastError() const = 0;
};

// Why an open failed, for the user: the device tried and the reason in plain words.
struct OpenFailure {
    std::string device;
    std::string reason;
};

// Opens "COM1" to "COM9" for exclusive reading and writing. Nothing on failure.
using SerialOpener = std::function<std::unique_ptr<SerialDevice>(
    const std::string& name, bool overlapped, OpenFailure* failure)>;
std::unique_ptr<SerialDevice> CreateSerialFile(const std::string& name, bool overlapped,
                                               OpenFailure* failure);
// Tests replace the opener; returns the one replaced. An empty function restores termios.
SerialOpener SetSerialOpener(SerialOpener opener);

// The termios device itself, opened by path (used by the opener once the name is mapped).
std::unique_ptr<SerialDevice> OpenTermiosDevice(const std::string& path, OpenFailure* failure);

}  // namespace odomei
