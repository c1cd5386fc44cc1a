#include "platform/SerialDevice.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>
#include <utility>

#include "platform/Clock.h"
#include "platform/PortMap.h"
#include "platform/win/PortFacts.h"
#include "platform/win/SerialFault.h"
#include "platform/win/Wide.h"

namespace odomei {

// The program's names for the system's constants must be the system's values.
static_assert(kSpParity == SP_PARITY && kSpBaud == SP_BAUD && kSpDataBits == SP_DATABITS &&
              kSpStopBits == SP_STOPBITS && kSpHandshaking == SP_HANDSHAKING &&
              kSpParityCheck == SP_PARITY_CHECK && kSpRlsd == SP_RLSD);
static_assert(kBaud1200 == BAUD_1200 && kBaud2400 == BAUD_2400 && kBaud4800 == BAUD_4800 &&
              kBaud9600 == BAUD_9600 && kBaud14400 == BAUD_14400 && kBaud19200 == BAUD_19200 &&
              kBaud38400 == BAUD_38400 && kBaud57600 == BAUD_57600 && kBaud115200 == BAUD_115200);
static_assert(kDataBits7 == DATABITS_7 && kDataBits8 == DATABITS_8);
static_assert(kStopBits10 == STOPBITS_10 && kStopBits20 == STOPBITS_20 &&
              kParityNone == PARITY_NONE && kParityOdd == PARITY_ODD && kParityEven == PARITY_EVEN);
static_assert(kPcfDtrDsr == PCF_DTRDSR && kPcfRtsCts == PCF_RTSCTS && kPcfRlsd == PCF_RLSD &&
              kPcfParityCheck == PCF_PARITY_CHECK && kPcfXonXoff == PCF_XONXOFF &&
              kPcfSetXChar == PCF_SETXCHAR && kPcfTotalTimeouts == PCF_TOTALTIMEOUTS &&
              kPcfIntTimeouts == PCF_INTTIMEOUTS);
static_assert(kNoParity == NOPARITY && kOddParity == ODDPARITY && kEvenParity == EVENPARITY &&
              kOneStopBit == ONESTOPBIT && kTwoStopBits == TWOSTOPBITS);
static_assert(kPurgeTxAbort == PURGE_TXABORT && kPurgeRxAbort == PURGE_RXABORT &&
              kPurgeTxClear == PURGE_TXCLEAR && kPurgeRxClear == PURGE_RXCLEAR);
static_assert(kSetRts == SETRTS && kClrRts == CLRRTS && kSetDtr == SETDTR && kClrDtr == CLRDTR &&
              kEvRxChar == EV_RXCHAR);
static_assert(sizeof(DCB) == sizeof(::DCB) && sizeof(CommTimeouts) == sizeof(COMMTIMEOUTS));

namespace {

using winapi::ErrorText;

// How often a wait for input looks at the driver's queue: about two bytes at 19200 baud.
constexpr int kInputPollMs = 1;

// A device which does not exist was specified (ERROR_NO_SUCH_DEVICE, missing from mingw-w64's
// headers).
constexpr DWORD kErrorNoSuchDevice = 433;

// Errors that mean the device itself has gone: a closed peer, and an adapter pulled out, which
// real USB serial drivers report with any of the others, each driver its own.
bool MeansGone(DWORD error) {
    switch (error) {
        case ERROR_NOT_READY:
        case ERROR_INVALID_HANDLE:
        case ERROR_ACCESS_DENIED:
        case ERROR_OPERATION_ABORTED:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_GEN_FAILURE:
        case ERROR_BAD_COMMAND:
        case ERROR_DEVICE_NOT_CONNECTED:
        case kErrorNoSuchDevice:
        case ERROR_DEVICE_REMOVED: return true;
        default: return false;
    }
}

// Devices opened so far, and the error that the first of them (up to unpluggedUpTo) now give.
std::atomic<unsigned> g_opened{0};
std::atomic<unsigned> g_unpluggedUpTo{0};
std::atomic<DWORD> g_unpluggedError{0};

// The devices open in this process, by the name they were opened with, in upper case.
std::mutex g_openNamesLock;
std::multiset<std::string> g_openNames;

std::string OpenName(std::string device) {
    for (char& c : device) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return device;
}

// Wine's serial driver fills the capability record but leaves SP_RLSD out of the settable
// parameters, although it takes every line setting the program makes (which never asks for
// RLSD handling); real Windows drivers list it. Without it no port would open under Wine.
bool RunningOnWine() {
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// The device's own calls, one for one: on Windows the driver's steps are the system's.
class Win32Device final : public SerialDevice {
public:
    Win32Device(HANDLE h, std::string name) : m_h(h), m_name(std::move(name)) {
        const std::lock_guard lock(g_openNamesLock);
        g_openNames.insert(OpenName(m_name));
    }
    ~Win32Device() override {
        CloseHandle(m_h);
        const std::lock_guard lock(g_openNamesLock);
        if (const auto at = g_openNames.find(OpenName(m_name)); at != g_openNames.end())
            g_openNames.erase(at);
    }

    bool SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) override {
        return Check(!Unplugged() && ::SetupComm(m_h, inQueue, outQueue));
    }

    bool GetCommProperties(CommProp& prop) override {
        COMMPROP p{};
        p.wPacketLength = sizeof p;
        if (!Check(!Unplugged() && ::GetCommProperties(m_h, &p))) return false;
        // The whole record is always asked for; Wine reports 1 as its size, Windows 64.
        prop.wPacketLength = kCommPropSize;
        prop.wPacketVersion = p.wPacketVersion;
        prop.dwServiceMask = p.dwServiceMask;
        prop.dwMaxTxQueue = p.dwMaxTxQueue;
        prop.dwMaxRxQueue = p.dwMaxRxQueue;
        prop.dwMaxBaud = p.dwMaxBaud;
        prop.dwProvSubType = p.dwProvSubType;
        prop.dwProvCapabilities = p.dwProvCapabilities;
        prop.dwSettableParams = p.dwSettableParams | (RunningOnWine() ? kSpRlsd : 0);
        prop.dwSettableBaud = p.dwSettableBaud;
        prop.wSettableData = p.wSettableData;
        prop.wSettableStopParity = p.wSettableStopParity;
        prop.dwCurrentTxQueue = p.dwCurrentTxQueue;
        prop.dwCurrentRxQueue = p.dwCurrentRxQueue;
        return true;
    }

    bool GetCommState(DCB& dcb) override {
        ::DCB d{};
        d.DCBlength = sizeof d;
        if (!Check(!Unplugged() && ::GetCommState(m_h, &d))) return false;
        CopyFields(d, dcb);
        dcb.DCBlength = d.DCBlength;
        dcb.flags = FlagsOf(d);
        return true;
    }

    bool SetCommState(const DCB& dcb) override {
        ::DCB d{};
        CopyFields(dcb, d);
        d.DCBlength = sizeof d;
        SetFlags(d, dcb.flags);
        return Check(!Unplugged() && ::SetCommState(m_h, &d));
    }

    bool GetCommTimeouts(CommTimeouts& timeouts) override {
        COMMTIMEOUTS t{};
        if (!Check(!Unplugged() && ::GetCommTimeouts(m_h, &t))) return false;
        timeouts = CommTimeouts{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                t.WriteTotalTimeoutConstant};
        return true;
    }

    bool SetCommTimeouts(const CommTimeouts& timeouts) override {
        COMMTIMEOUTS t{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                       timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                       timeouts.WriteTotalTimeoutConstant};
        return Check(!Unplugged() && ::SetCommTimeouts(m_h, &t));
    }

    bool PurgeComm(std::uint32_t flags) override {
        return Check(!Unplugged() && ::PurgeComm(m_h, flags));
    }
    bool FlushFileBuffers() override { return Check(!Unplugged() && ::FlushFileBuffers(m_h)); }

    bool ClearCommError(std::uint32_t* errors, ComStat* stat) override {
        DWORD e = 0;
        COMSTAT s{};
        if (!Check(!Unplugged() && ::ClearCommError(m_h, &e, &s))) return false;
        if (errors) *errors = e;
        if (stat) {
            std::uint32_t flags = 0;
            if (s.fCtsHold) flags |= 0x01;
            if (s.fDsrHold) flags |= 0x02;
            if (s.fRlsdHold) flags |= 0x04;
            if (s.fXoffHold) flags |= 0x08;
            if (s.fXoffSent) flags |= 0x10;
            if (s.fEof) flags |= 0x20;
            if (s.fTxim) flags |= kComStatTxim;
            *stat = ComStat{flags, s.cbInQue, s.cbOutQue};
        }
        return true;
    }

    bool SetCommMask(std::uint32_t mask) override {
        return Check(!Unplugged() && ::SetCommMask(m_h, mask));
    }

    bool EscapeCommFunction(std::uint32_t function) override {
        return Check(!Unplugged() && ::EscapeCommFunction(m_h, function));
    }

    bool ReadFile(std::uint8_t* buffer, std::uint32_t n, std::uint32_t* done) override {
        DWORD got = 0;
        const bool ok = Check(!Unplugged() && ::ReadFile(m_h, buffer, n, &got, nullptr));
        *done = got;
        return ok;
    }

    bool WriteFile(const std::uint8_t* buffer, std::uint32_t n, std::uint32_t* done) override {
        DWORD put = 0;
        const bool ok = Check(!Unplugged() && ::WriteFile(m_h, buffer, n, &put, nullptr));
        *done = put;
        if (ok && put < n) m_error = WAIT_TIMEOUT;  // the count tells the caller
        return ok;
    }

    // The port is opened for plain (not overlapped) transfers, where no wait can be ended
    // from outside: the queue is looked at instead, every millisecond.
    bool WaitForInput(int ms) override {
        const std::int64_t deadline = MonotonicMs() + ms;
        for (;;) {
            DWORD e = 0;
            COMSTAT s{};
            if (!Check(!Unplugged() && ::ClearCommError(m_h, &e, &s)))
                return true;  // the read will tell
            if (s.cbInQue > 0) return true;
            if (MonotonicMs() >= deadline) return false;
            SleepMs(kInputPollMs);
        }
    }

    std::string LastError() const override {
        if (m_error == WAIT_TIMEOUT)
            return m_name + ": the line took no byte within the write time-out";
        return m_name + ": " + ErrorText(m_error);
    }

    // Also a device that went while nobody was using the line (unplugged between two reads).
    bool Gone() const override {
        if (m_gone) return true;
        DWORD e = 0;
        COMSTAT s{};
        return (Unplugged() || !::ClearCommError(m_h, &e, &s)) && MeansGone(GetLastError());
    }

private:
    // True, with the error set, while the tests have this device unplugged: the call then fails
    // before it reaches the driver.
    bool Unplugged() const {
        const DWORD error = g_unpluggedError.load();
        if (error == 0 || m_number > g_unpluggedUpTo.load()) return false;
        SetLastError(error);
        return true;
    }

    bool Check(bool ok) {
        if (ok) return true;
        m_error = GetLastError();
        if (MeansGone(m_error)) m_gone = true;
        return false;
    }

    // The fields the program's record and the system's have alike (all but the flag bits).
    template <class From, class To>
    static void CopyFields(const From& f, To& t) {
        t.BaudRate = f.BaudRate;
        t.wReserved = f.wReserved;
        t.XonLim = f.XonLim;
        t.XoffLim = f.XoffLim;
        t.ByteSize = f.ByteSize;
        t.Parity = f.Parity;
        t.StopBits = f.StopBits;
        t.XonChar = f.XonChar;
        t.XoffChar = f.XoffChar;
        t.ErrorChar = f.ErrorChar;
        t.EofChar = f.EofChar;
        t.EvtChar = f.EvtChar;
        t.wReserved1 = f.wReserved1;
    }

    // The flag bits of the record, as the system's bit fields hold them.
    static std::uint32_t FlagsOf(const ::DCB& d) {
        return (d.fBinary << 0) | (d.fParity << 1) | (d.fOutxCtsFlow << 2) | (d.fOutxDsrFlow << 3) |
               (d.fDtrControl << 4) | (d.fDsrSensitivity << 6) | (d.fTXContinueOnXoff << 7) |
               (d.fOutX << 8) | (d.fInX << 9) | (d.fErrorChar << 10) | (d.fNull << 11) |
               (d.fRtsControl << 12) | (d.fAbortOnError << 14);
    }
    static void SetFlags(::DCB& d, std::uint32_t f) {
        d.fBinary = f & 1;
        d.fParity = (f >> 1) & 1;
        d.fOutxCtsFlow = (f >> 2) & 1;
        d.fOutxDsrFlow = (f >> 3) & 1;
        d.fDtrControl = (f >> 4) & 3;
        d.fDsrSensitivity = (f >> 6) & 1;
        d.fTXContinueOnXoff = (f >> 7) & 1;
        d.fOutX = (f >> 8) & 1;
        d.fInX = (f >> 9) & 1;
        d.fErrorChar = (f >> 10) & 1;
        d.fNull = (f >> 11) & 1;
        d.fRtsControl = (f >> 12) & 3;
        d.fAbortOnError = (f >> 14) & 1;
    }

    HANDLE m_h;
    std::string m_name;
    unsigned m_number = ++g_opened;
    DWORD m_error = 0;
    bool m_gone = false;
};

SerialOpener& Opener() {
    static SerialOpener opener;
    return opener;
}

std::string Explain(DWORD error, const PortMap& ports) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return "no such port. " + ports.Describe();
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return "busy: another program holds it open.";
        default: return ErrorText(error);
    }
}

// "COM12" must be opened as "\\.\COM12"; "\\.\COM3" and other device paths are taken as given.
std::string DevicePath(const std::string& device) {
    return ComNumber(device) ? "\\\\.\\" + device : device;
}

}  // namespace

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, Failure* failure,
                                               const PortMap& ports) {
    const std::string device = DevicePath(path);
    // Exclusive (no sharing), as every serial port on Windows is.
    HANDLE h = CreateFileW(winapi::Wide(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (failure) *failure = FailureOf(device, Explain(GetLastError(), ports));
        return nullptr;
    }
    return std::make_unique<Win32Device>(h, device);
}

std::unique_ptr<SerialDevice> CreateSerialFile(const std::string& name, bool overlapped,
                                               Failure* failure, const PortMap& ports) {
    if (Opener()) return Opener()(name, overlapped, failure);
    Failure why;
    const auto device = ports.Target(name, &why);
    if (!device) {
        if (failure) *failure = why;
        return nullptr;
    }
    return OpenSerialDevice(*device, failure, ports);
}

bool SystemSerialOpener() { return !Opener(); }

SerialOpener SetSerialOpener(SerialOpener opener) {
    return std::exchange(Opener(), std::move(opener));
}

bool winapi::OpenedHere(const std::string& device) {
    const std::lock_guard lock(g_openNamesLock);
    return g_openNames.count(OpenName(DevicePath(device))) != 0;
}

void winapi::UnplugOpenPorts(DWORD error) {
    g_unpluggedUpTo = g_opened.load();
    g_unpluggedError = error;
}

}  // namespace odomei
