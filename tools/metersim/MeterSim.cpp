#include "tools/metersim/MeterSim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace metersim {
namespace {

constexpr int kBitsPerByte = 10;    // start bit, 8 data bits, stop bit
constexpr int kDrainWaitMs = 2000;  // how long Stop() lets the program read what is in the line
// A program that stops reading fills the line; after this long without room the rest of the
// answer is dropped, so no write of the simulator waits without end.
constexpr int kStalledWriteMs = 2000;

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint8_t Check(const std::uint8_t* block) {
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < kBlockSize - 1; ++i) x ^= block[i];
    return x;
}

void SleepUntil(const timespec& t) {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

void AddNanos(timespec& t, long long ns) {
    t.tv_nsec += ns % 1000000000;
    t.tv_sec += ns / 1000000000;
    if (t.tv_nsec >= 1000000000) {
        t.tv_nsec -= 1000000000;
        ++t.tv_sec;
    }
}

// One record's fourteen bytes: uncorrected litres, km, correction (hundredths of a percent),
// litres refilled and the date.
void PutRecord(std::uint8_t* r, double rawLitres, double km, int correction, double refilled,
               int year, int month, int day) {
    PutLe32(r, static_cast<std::uint32_t>(rawLitres * 1e7 + 0.5));  // ten-millionths of a litre
    PutLe32(r + 4, static_cast<std::uint32_t>(km / 0.0003925 + 0.5));
    PutLe16(r + 8, static_cast<std::uint16_t>(correction));
    PutLe16(r + 10, static_cast<std::uint16_t>(refilled * 100 + 0.5));
    r[12] = static_cast<std::uint8_t>(day);
    r[13] = static_cast<std::uint8_t>((year - 2000) << 4 | month);
}

// Firmware version 01.03 (stored with each pair reversed) and the check byte.
void FinishBlock(std::array<std::uint8_t, kBlockSize>& block) {
    block[211] = '3';
    block[212] = '0';
    block[213] = '1';
    block[214] = '0';
    block[215] = Check(block.data());
}

}  // namespace

std::array<std::uint8_t, kBlockSize> SampleBlock() {
    // A year of refuelling: date, km driven, litres refilled, the meter's litres, correction.
    struct Fill {
        int year, month, day;
        double km, refilled, metered;
        int correction;
    };
    static const Fill fills[15] = {
        {2015, 1, 9, 412.6, 31.20, 30.85, 10000},  {2015, 1, 30, 388.1, 29.75, 29.90, 10000},
        {2015, 2, 18, 455.9, 33.40, 32.98, 10000}, {2015, 3, 10, 402.3, 30.10, 30.41, 10000},
        {2015, 4, 2, 498.7, 35.05, 34.60, 10050},  {2015, 4, 24, 367.2, 27.90, 28.02, 10050},
        {2015, 5, 15, 521.4, 36.80, 36.15, 10050}, {2015, 6, 6, 433.8, 31.65, 31.70, 10050},
        {2015, 6, 29, 389.5, 29.20, 28.76, 10050}, {2015, 7, 21, 476.1, 34.35, 34.10, 9980},
        {2015, 8, 12, 510.9, 36.10, 36.48, 9980},  {2015, 9, 3, 398.4, 29.95, 29.52, 9980},
        {2015, 9, 25, 442.7, 32.30, 32.05, 9980},  {2015, 10, 17, 415.0, 30.85, 31.02, 9980},
        {2015, 11, 8, 463.2, 33.60, 33.11, 9980},
    };
    std::array<std::uint8_t, kBlockSize> block{};
    block[0] = 0x01;
    for (int k = 0; k < 15; ++k) {
        const Fill& f = fills[k];
        // The meter stores fuel before correction.
        PutRecord(&block[1 + 14 * k], f.metered * 10000.0 / f.correction, f.km, f.correction,
                  f.refilled, f.year, f.month, f.day);
    }
    FinishBlock(block);
    return block;
}

std::array<std::uint8_t, kBlockSize> SequenceBlock(int read, int car) {
    constexpr int kFirstDay = 4;  // 2013-01-05, counted from 2013-01-01
    constexpr int kDaysApart = 11;
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::array<std::uint8_t, kBlockSize> block{};
    block[0] = 0x01;
    for (int k = 0; k < 15; ++k) {
        const int n = read * kSequenceStep + k;  // refuel number, oldest first
        int day = kFirstDay + car * kSequenceCarDays + n * kDaysApart, year = 2013, month = 1;
        for (;;) {
            const int inYear = year % 4 == 0 ? 366 : 365;
            if (day < inYear) break;
            day -= inYear;
            ++year;
        }
        while (day >= kMonthDays[month - 1] + (month == 2 && year % 4 == 0 ? 1 : 0)) {
            day -= kMonthDays[month - 1] + (month == 2 && year % 4 == 0 ? 1 : 0);
            ++month;
        }
        // Deterministic variety: distances and fills wander, the meter's own error scatters.
        const double km = 360.0 + ((n + car * 53) * 37 % 130) + (n % 7) * 0.35 + car * 0.1;
        const double refilled = km / (13.2 + (n * 11 % 23) / 10.0);
        const int correction = n < kSequenceFactorChange ? 10000 : 10150;
        const double scatter = ((n * 29 % 17) - 8) / 1000.0;  // about +-0.8 %
        const double rawLitres = refilled * (0.985 + scatter);
        PutRecord(&block[1 + 14 * k], rawLitres, km, correction, refilled, year, month, day + 1);
    }
    FinishBlock(block);
    return block;
}

MeterSim::MeterSim(Options options) : m_options(std::move(options)) {
    if (m_options.answer.empty()) {
        const auto sample = SampleBlock();
        m_options.answer.assign(sample.begin(), sample.end());
    }
    if (m_options.answer.size() == kBlockSize) {
        m_options.answer[kBlockSize - 1] = Check(m_options.answer.data());
    }
}

MeterSim::~MeterSim() {
    Stop();
    RemoveLink();
}

// The link goes before the line closes, as an unplugged adapter's device node does: a closed
// pseudo-terminal's number is the next one any program gets, and a link left behind would lead
// whoever opens it again to another program's line.
void MeterSim::RemoveLink() {
    if (!m_options.linkPath.empty()) unlink(m_options.linkPath.c_str());
}

bool MeterSim::Start(std::string* error) {
    auto fail = [this, error](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        CloseAll();  // nothing half-made stays open
        return false;
    };
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_master < 0) return fail("posix_openpt");
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) return fail("grantpt");
    m_slavePath = ptsname(m_master);
    // Holding the slave open ourselves keeps the line up between programs and before the first
    // one opens it; a raw slave never echoes what the meter sends.
    m_slaveKeep = open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveKeep < 0) return fail("open " + m_slavePath);
    termios t{};
    tcgetattr(m_slaveKeep, &t);
    cfmakeraw(&t);
    tcsetattr(m_slaveKeep, TCSANOW, &t);
    tcgetattr(m_master, &t);
    cfmakeraw(&t);
    tcsetattr(m_master, TCSANOW, &t);
    // Output stopped as by flow control: whatever the program writes stays in its queue.
    if (m_options.stuck && tcflow(m_slaveKeep, TCOOFF) != 0) return fail("tcflow");
    // Packet mode tells the meter when the program purges its output.
    int packet = 1;
    if (m_options.slowReadMs > 0 && ioctl(m_master, TIOCPKT, &packet) != 0) {
        return fail("TIOCPKT");
    }
    if (!m_options.linkPath.empty()) {
        unlink(m_options.linkPath.c_str());
        if (symlink(m_slavePath.c_str(), m_options.linkPath.c_str()) != 0) {
            return fail("symlink " + m_options.linkPath);
        }
    }
    if (pipe2(m_wake, O_CLOEXEC) != 0) return fail("pipe");
    m_thread = std::thread([this] { Run(); });
    return true;
}

void MeterSim::Stop() {
    if (!m_thread.joinable()) return;
    // Let the program read an answer still in the line: closing now would throw it away.
    for (int waited = 0; waited < kDrainWaitMs; waited += 10) {
        int waiting = 0;
        {
            std::lock_guard lock(m_lineMutex);
            if (m_hungUp || ioctl(m_slaveKeep, FIONREAD, &waiting) != 0 || waiting == 0) break;
        }
        usleep(10000);
    }
    m_stop = true;
    (void)!write(m_wake[1], "x", 1);
    m_thread.join();  // every wait of the thread ends at the wake-up or within its bound
    CloseAll();
}

void MeterSim::CloseAll() {
    std::lock_guard lock(m_lineMutex);
    RemoveLink();
    for (int* fd : {&m_master, &m_slaveKeep, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

bool MeterSim::Rest(int ms) const {
    pollfd p{m_wake[0], POLLIN, 0};
    return poll(&p, 1, ms) == 0 && !m_stop;
}

std::vector<std::uint8_t> MeterSim::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

bool MeterSim::WaitForReceived(std::size_t n, int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_received.size() >= n; });
}

void MeterSim::Run() {
    while (!m_stop) {
        pollfd p[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (m_hungUp) p[0].fd = -1;
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        if (!(p[0].revents & POLLIN)) continue;
        std::uint8_t buf[256];
        const ssize_t n = read(m_master, buf, sizeof buf);
        if (n > 0) Take(buf, static_cast<std::size_t>(n));
    }
}

void MeterSim::Take(const std::uint8_t* bytes, std::size_t n) {
    std::size_t from = 0;
    if (m_options.slowReadMs > 0) {
        if (bytes[0] != TIOCPKT_DATA) return;  // a status: only LookAgainLater needs one
        from = 1;
    }
    for (std::size_t i = from; i < n && !m_stop; ++i) {
        {
            std::lock_guard lock(m_mutex);
            m_received.push_back(bytes[i]);
        }
        m_changed.notify_all();
        if (bytes[i] == STX && !m_options.silent && !m_hungUp) {
            Answer();
            if (m_options.slowReadMs > 0) LookAgainLater();
        }
    }
}

// The program only reads and acknowledges after an answer, so a purge of its output from now on
// is the one its close does: what it sent before is thrown away with it.
void MeterSim::LookAgainLater() {
    if (m_hungUp || !Rest(m_options.slowReadMs)) return;
    pollfd p{m_master, POLLIN, 0};
    if (poll(&p, 1, 0) != 1 || !(p.revents & POLLIN)) return;
    std::uint8_t buf[256];
    const ssize_t n = read(m_master, buf, sizeof buf);
    if (n <= 0) return;
    // A pending status comes before any data.
    if (buf[0] != TIOCPKT_DATA && (buf[0] & TIOCPKT_FLUSHWRITE)) {
        tcflush(m_master, TCIFLUSH);
        return;
    }
    Take(buf, static_cast<std::size_t>(n));
}

void MeterSim::Answer() {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(std::max(m_options.leadingGarbage, 0)),
                                  0xA5);
    std::vector<std::uint8_t> answer = m_options.answer;
    if (m_answers < m_options.badChecks && !answer.empty()) answer.back() ^= 0xFF;
    out.insert(out.end(), answer.begin(), answer.end());
    for (int i = 0; i < m_options.extraBytes; ++i)
        out.push_back(static_cast<std::uint8_t>(0xE0 + i % 16));
    if (m_options.stopAfter >= 0 && out.size() > static_cast<std::size_t>(m_options.stopAfter)) {
        out.resize(static_cast<std::size_t>(m_options.stopAfter));
    }
    std::size_t limit = out.size();
    const bool hangUp = m_options.hangupAfter >= 0 && m_answers == 0;
    if (hangUp) limit = std::min(limit, static_cast<std::size_t>(m_options.hangupAfter));

    const std::size_t piece =
        m_options.pieceSize > 0 ? static_cast<std::size_t>(m_options.pieceSize) : limit;
    for (std::size_t sent = 0; sent < limit && !m_stop;) {
        const std::size_t n = std::min(piece, limit - sent);
        if (!Send(out.data() + sent, n)) return;
        sent += n;
        if (sent < limit && m_options.pieceGapMs > 0 && !Rest(m_options.pieceGapMs)) return;
    }
    ++m_answers;
    if (hangUp) HangUp();
}

bool MeterSim::Send(const std::uint8_t* data, std::size_t n) {
    // One byte at a time, each when a real line at this rate would have finished it; or all at
    // once without pacing.
    const long long byteNanos = 1000000000LL * kBitsPerByte / m_options.baud;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (std::size_t done = 0; done < n;) {
        if (m_stop) return false;
        std::size_t chunk = n - done;
        if (m_options.pace) {
            chunk = 1;
            AddNanos(next, byteNanos);
            SleepUntil(next);
        }
        const ssize_t w = write(m_master, data + done, chunk);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) return false;
        // The line is full: wait for room, the stop, or give the answer up.
        pollfd p[2] = {{m_master, POLLOUT, 0}, {m_wake[0], POLLIN, 0}};
        if (poll(p, 2, kStalledWriteMs) <= 0 || p[1].revents != 0 || !(p[0].revents & POLLOUT)) {
            return false;
        }
    }
    return true;
}

// Like an adapter pulled out: the program's side of the line sees a hang-up.
void MeterSim::HangUp() {
    std::lock_guard lock(m_lineMutex);
    m_hungUp = true;
    RemoveLink();
    close(m_slaveKeep);
    m_slaveKeep = -1;
    close(m_master);
    m_master = -1;
}

}  // namespace metersim
