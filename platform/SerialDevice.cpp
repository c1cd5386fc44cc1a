#include "platform/SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/Clock.h"
#include "platform/PortMap.h"

namespace odomei {

// Rates termios has no constant for are set through the kernel's termios2 (SerialBaud.cpp).
bool SetCustomBaudRate(int fd, std::uint32_t baud);
std::uint32_t GetCustomBaudRate(int fd);

namespace {

struct RateEntry {
    std::uint32_t baud;
    speed_t speed;
};
constexpr RateEntry kRates[] = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                {9600, B9600},   {19200, B19200},  {38400, B38400},
                                {57600, B57600}, {115200, B115200}};

// Which DCB flag bits mean what (bit positions of the packed flag word).
constexpr std::uint32_t kFlagParity = 1u << 1;
constexpr std::uint32_t kFlagOutxCtsFlow = 1u << 2;
constexpr std::uint32_t kFlagOutX = 1u << 8;
constexpr std::uint32_t kFlagInX = 1u << 9;

class TermiosDevice final : public SerialDevice {
public:
    TermiosDevice(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~TermiosDevice() override {
        // On a pseudo-terminal the exclusive flag outlives the close: clear it for the next user.
        ioctl(m_fd, TIOCNXCL);
        close(m_fd);
    }

    bool SetupComm(std::uint32_t, std::uint32_t) override { return true; }  // kernel queues

    bool GetCommProperties(CommProp& prop) override {
        const bool roomEnough = prop.wPacketLength >= kCommPropSize;
        prop = CommProp{};
        prop.wPacketLength = kCommPropSize;
        if (!roomEnough) return Fail(EINVAL);
        prop.wPacketVersion = 2;
        prop.dwMaxTxQueue = prop.dwMaxRxQueue = 4096;
        prop.dwMaxBaud = 0x10000000;  // BAUD_USER: any rate
        prop.dwProvCapabilities = kPcfDtrDsr | kPcfRtsCts | kPcfRlsd | kPcfParityCheck |
                                  kPcfXonXoff | kPcfSetXChar | kPcfTotalTimeouts | kPcfIntTimeouts;
        prop.dwSettableParams = kSpParity | kSpBaud | kSpDataBits | kSpStopBits | kSpHandshaking |
                                kSpParityCheck | kSpRlsd;
        prop.dwSettableBaud = kBaud1200 | kBaud2400 | kBaud4800 | kBaud9600 | kBaud14400 |
                              kBaud19200 | kBaud38400 | kBaud57600 | kBaud115200;
        prop.wSettableData = kDataBits7 | kDataBits8;
        prop.wSettableStopParity =
            kStopBits10 | kStopBits20 | kParityNone | kParityOdd | kParityEven;
        return true;
    }

    bool GetCommState(DCB& dcb) override {
        termios t{};
        if (tcgetattr(m_fd, &t) != 0) return Fail(errno);
        dcb = DCB{};
        dcb.DCBlength = 28;
        dcb.BaudRate = GetCustomBaudRate(m_fd);
        if (dcb.BaudRate == 0) {
            for (const auto& r : kRates) {
                if (cfgetospeed(&t) == r.speed) dcb.BaudRate = r.baud;
            }
        }
        dcb.flags = 1;  // binary
        if (t.c_cflag & PARENB) dcb.flags |= kFlagParity;
        if (t.c_cflag & CRTSCTS) dcb.flags |= kFlagOutxCtsFlow;
        if (t.c_iflag & IXON) dcb.flags |= kFlagOutX;
        if (t.c_iflag & IXOFF) dcb.flags |= kFlagInX;
        dcb.ByteSize = (t.c_cflag & CSIZE) == CS7   ? 7
                       : (t.c_cflag & CSIZE) == CS6 ? 6
                       : (t.c_cflag & CSIZE) == CS5 ? 5
                                                    : 8;
        dcb.Parity = !(t.c_cflag & PARENB)  ? kNoParity
                     : (t.c_cflag & PARODD) ? kOddParity
                                            : kEvenParity;
        dcb.StopBits = (t.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
        dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
        dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
        dcb.EofChar = static_cast<char>(t.c_cc[VEOF]);
        return true;
    }

    bool SetCommState(const DCB& dcb) override {
        termios t{};
        if (tcgetattr(m_fd, &t) != 0) return Fail(errno);
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        t.c_cflag |= dcb.ByteSize == 7   ? CS7
                     : dcb.ByteSize == 6 ? CS6
                     : dcb.ByteSize == 5 ? CS5
                                         : CS8;
        if (dcb.Parity == kOddParity) t.c_cflag |= PARENB | PARODD;
        if (dcb.Parity == kEvenParity) t.c_cflag |= PARENB;
        if (dcb.flags & kFlagParity) t.c_iflag |= INPCK;
        if (dcb.StopBits == kTwoStopBits) t.c_cflag |= CSTOPB;
        if (dcb.flags & kFlagOutxCtsFlow) t.c_cflag |= CRTSCTS;
        if (dcb.flags & kFlagOutX) t.c_iflag |= IXON;
        if (dcb.flags & kFlagInX) t.c_iflag |= IXOFF;
        t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
        t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
        t.c_cc[VEOF] = static_cast<cc_t>(dcb.EofChar);
        // With the descriptor non-blocking, VMIN 1 makes an empty line answer EAGAIN, so that a
        // read of 0 bytes means a hang-up; poll() does all the waiting.
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        bool standard = false;
        for (const auto& r : kRates) {
            if (r.baud == dcb.BaudRate) {
                cfsetispeed(&t, r.speed);
                cfsetospeed(&t, r.speed);
                standard = true;
            }
        }
        if (tcsetattr(m_fd, TCSANOW, &t) != 0) return Fail(errno);
        if (!standard && !SetCustomBaudRate(m_fd, dcb.BaudRate)) return Fail(errno);
        return true;
    }

    bool GetCommTimeouts(CommTimeouts& timeouts) override {
        timeouts = m_timeouts;
        return true;
    }

    bool SetCommTimeouts(const CommTimeouts& timeouts) override {
        m_timeouts = timeouts;
        return true;
    }

    bool PurgeComm(std::uint32_t flags) override {
        bool ok = true;
        if (flags & kPurgeRxClear) ok = tcflush(m_fd, TCIFLUSH) == 0 && ok;
        if (flags & kPurgeTxClear) ok = tcflush(m_fd, TCOFLUSH) == 0 && ok;
        return ok || Fail(errno);
    }

    // An interrupting signal ends the wait: the caller then treats the output as not drained.
    bool FlushFileBuffers() override { return tcdrain(m_fd) == 0 || Fail(errno); }

    bool ClearCommError(std::uint32_t* errors, ComStat* stat) override {
        if (errors) *errors = 0;
        if (HungUp()) return Fail(EIO);
        int in = 0;
        int out = 0;
        if (ioctl(m_fd, FIONREAD, &in) != 0) return Fail(errno);
        if (ioctl(m_fd, TIOCOUTQ, &out) != 0) out = 0;  // not every tty knows its output queue
        if (stat)
            *stat = ComStat{0, static_cast<std::uint32_t>(in), static_cast<std::uint32_t>(out)};
        return true;
    }

    bool SetCommMask(std::uint32_t mask) override {
        m_mask = mask;
        return true;
    }

    bool EscapeCommFunction(std::uint32_t function) override {
        int bits = 0;
        unsigned long request = 0;
        switch (function) {
            case kSetRts:
                bits = TIOCM_RTS;
                request = TIOCMBIS;
                break;
            case kClrRts:
                bits = TIOCM_RTS;
                request = TIOCMBIC;
                break;
            case kSetDtr:
                bits = TIOCM_DTR;
                request = TIOCMBIS;
                break;
            case kClrDtr:
                bits = TIOCM_DTR;
                request = TIOCMBIC;
                break;
            default: return Fail(EINVAL);
        }
        return ioctl(m_fd, request, &bits) == 0 || Fail(errno);
    }

    // Ends when n bytes are in or after the total time-out for n bytes.
    bool ReadFile(std::uint8_t* buffer, std::uint32_t n, std::uint32_t* done) override {
        *done = 0;
        const std::int64_t deadline = MonotonicMs() + m_timeouts.ReadTotalTimeoutConstant +
                                      std::int64_t{m_timeouts.ReadTotalTimeoutMultiplier} * n;
        while (*done < n) {
            const ssize_t got = read(m_fd, buffer + *done, n - *done);
            if (got > 0) {
                *done += static_cast<std::uint32_t>(got);
                continue;
            }
            if (got == 0) return Fail(EIO);  // hung up
            if (errno == EINTR) continue;
            if (errno != EAGAIN) return Fail(errno);
            const std::int64_t left = deadline - MonotonicMs();
            if (left <= 0) break;
            pollfd p{m_fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return Fail(errno);
            if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN)) {
                return Fail(EIO);
            }
        }
        return true;
    }

    bool WriteFile(const std::uint8_t* buffer, std::uint32_t n, std::uint32_t* done) override {
        *done = 0;
        const std::int64_t deadline = MonotonicMs() + m_timeouts.WriteTotalTimeoutConstant +
                                      std::int64_t{m_timeouts.WriteTotalTimeoutMultiplier} * n;
        while (*done < n) {
            const ssize_t put = write(m_fd, buffer + *done, n - *done);
            if (put > 0) {
                *done += static_cast<std::uint32_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR) continue;
            if (put < 0 && errno != EAGAIN) return Fail(errno);
            const std::int64_t left = deadline - MonotonicMs();
            if (left <= 0) {
                m_errno = ETIMEDOUT;  // not a failure of the call: the caller sees the count
                break;
            }
            pollfd p{m_fd, POLLOUT, 0};
            if (poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return Fail(errno);
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return Fail(EIO);
        }
        return true;
    }

    bool WaitForInput(int ms) override {
        pollfd p{m_fd, POLLIN, 0};
        return poll(&p, 1, ms) > 0;
    }

    std::string LastError() const override {
        if (m_errno == ETIMEDOUT)
            return m_path + ": the line took no byte within the write time-out";
        return m_path + ": " + std::strerror(m_errno);
    }

    // Also a hang-up that came while nobody was using the line (unplugged between two reads).
    bool Gone() const override {
        pollfd p{m_fd, 0, 0};
        return m_gone || (poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0);
    }

private:
    bool Fail(int err) {
        m_errno = err;
        if (err == EIO || err == ENXIO || err == ENODEV) m_gone = true;
        return false;
    }
    // A device that has gone (an unplugged adapter, a closed pseudo-terminal master).
    bool HungUp() {
        m_gone = Gone();
        return m_gone;
    }

    int m_fd;
    std::string m_path;
    int m_errno = 0;
    bool m_gone = false;
    std::uint32_t m_mask = 0;
    CommTimeouts m_timeouts;
};

SerialOpener& Opener() {
    static SerialOpener opener;
    return opener;
}

// The reason an open failed, in plain words; the device path is shown beside it.
std::string Explain(int err, const PortMap& ports) {
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO: return "no such device. " + ports.Describe();
        case EACCES:
        case EPERM:
            return "permission denied. Add your user to the group that owns the device (usually "
                   "'dialout': sudo adduser $USER dialout), then log in again.";
        case EBUSY:
        case EWOULDBLOCK: return "busy: another program holds it open.";
        default: return std::strerror(err);
    }
}

}  // namespace

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, Failure* failure,
                                               const PortMap& ports) {
    auto fail = [&](int err) -> std::unique_ptr<SerialDevice> {
        if (failure) *failure = FailureOf(path, Explain(err, ports));
        return nullptr;
    };
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    // Exclusive: the lock keeps out other programs (root included); TIOCEXCL other opens.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        return fail(err == EWOULDBLOCK ? EBUSY : err);
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        close(fd);
        if (failure) *failure = FailureOf(path, "not a serial port.");
        return nullptr;
    }
    ioctl(fd, TIOCEXCL);
    return std::make_unique<TermiosDevice>(fd, path);
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

}  // namespace odomei
