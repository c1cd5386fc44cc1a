// A simulated fuel-economy meter on a pseudo-terminal: answers STX with its 216-byte history
// block, paced as a real line would deliver it, with selectable faults.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace metersim {

constexpr std::uint8_t STX = 0x02;
constexpr std::uint8_t ACK = 0x06;
constexpr std::uint8_t NAK = 0x15;
constexpr std::size_t kBlockSize = 216;

struct Options {
    // The answer: a 216-byte block gets a correct check byte; any other length is sent as is.
    std::vector<std::uint8_t> answer;
    std::string linkPath;  // a symbolic link to the slave device while the line is up, if set
    int baud = 19200;      // pacing rate, 8N1 (10 bits a byte)
    bool pace = true;      // false: every piece at once
    // Faults.
    bool silent = false;     // never answers
    int stopAfter = -1;      // send only the first N bytes of each answer
    int pieceSize = 0;       // send in pieces of this many bytes ...
    int pieceGapMs = 0;      // ... with this pause between them
    int extraBytes = 0;      // bytes appended to each answer
    int leadingGarbage = 0;  // bytes sent before each answer
    int badChecks = 0;       // the first K answers carry a wrong check byte
    int hangupAfter = -1;    // close the line after N bytes of the first answer
    bool stuck = false;      // the line takes no byte from the program (its output is stopped)
    // After each answer the meter looks at the line again only this much later. What the program
    // purged from its output meanwhile is lost, as when a USB adapter's driver empties the
    // chip's transmit buffer before the bytes have left.
    int slowReadMs = 0;
};

// Fifteen realistic records with a correct check byte and firmware version 01.03.
std::array<std::uint8_t, kBlockSize> SampleBlock();

// What a real meter answers at read `read` (0, 1, 2, ...) of a car refuelled three times between
// reads: its fifteen latest refuels, the oldest shifted out. The meter measures about 1.5 % low
// until refuel 30, when its correction factor is changed from 100.00 % to 101.50 %.
// Another car's meter (car 1, 2, ...) has a history of its own: its refuels fall between the first
// car's days (5 days later each), with other distances and fills, so no record of one is
// another's.
constexpr int kSequenceStep = 3;           // refuels between two reads
constexpr int kSequenceFactorChange = 30;  // the first refuel with the new factor
constexpr int kSequenceCarDays = 5;        // how much later another car's refuels fall
std::array<std::uint8_t, kBlockSize> SequenceBlock(int read, int car = 0);

class MeterSim {
public:
    explicit MeterSim(Options options);
    ~MeterSim();
    MeterSim(const MeterSim&) = delete;
    MeterSim& operator=(const MeterSim&) = delete;

    // Opens the pseudo-terminal and starts answering. False (with the reason) on failure.
    bool Start(std::string* error);
    // Stops answering; an answer still in the line is given time to be read first.
    void Stop();

    const std::string& SlavePath() const { return m_slavePath; }
    // Every byte received so far (STX, ACK, NAK, anything else).
    std::vector<std::uint8_t> Received() const;
    int AnswersSent() const { return m_answers.load(); }
    bool HungUp() const { return m_hungUp.load(); }
    // Waits until at least n bytes have been received; false after timeoutMs.
    bool WaitForReceived(std::size_t n, int timeoutMs) const;

private:
    void Run();
    // Takes n bytes as read from the line (in packet mode: a status byte, or a data mark and
    // the bytes).
    void Take(const std::uint8_t* bytes, std::size_t n);
    void Answer();
    void LookAgainLater();
    bool Send(const std::uint8_t* data, std::size_t n);
    void HangUp();
    void CloseAll();
    void RemoveLink();
    // Waits ms unless told to stop; false when told.
    bool Rest(int ms) const;

    Options m_options;
    // The line's descriptors. The thread closes them on a hang-up while Stop() may look at the
    // kept slave: m_lineMutex guards both.
    std::mutex m_lineMutex;
    int m_master = -1;
    int m_slaveKeep = -1;  // keeps the line up while no program has it open
    int m_wake[2] = {-1, -1};
    std::string m_slavePath;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_hungUp{false};
    std::atomic<int> m_answers{0};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::uint8_t> m_received;
};

}  // namespace metersim
