// The read-out exchange with the meter: STX, the 216-byte answer, its check byte, NAK and
// retries, ACK. Independent of the window, so it runs against any serial device.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "data/Decoder.h"
#include "link/SerialPort.h"

namespace odomei {

constexpr std::uint8_t STX = 0x02;
constexpr std::uint8_t ACK = 0x06;
constexpr std::uint8_t NAK = 0x15;

enum class ExchangeOutcome {
    kBlockReceived,  // verified and acknowledged
    kStxFailed,
    kTimedOut,  // about ten seconds of silence, or the device went away
    kNakFailed,
    kBccError,  // the third wrong check byte
    kAckFailed,
};

struct ExchangeResult {
    ExchangeOutcome outcome = ExchangeOutcome::kTimedOut;
    std::array<std::uint8_t, kBlockSize> block{};  // the first 216 bytes of the verified answer
};

// Waits the given number of milliseconds; the window keeps painting meanwhile. An idle poll's
// pause (untilInput) may end early once bytes are waiting on the port; the pause after a NAK
// always lasts its time.
using ExchangePause = std::function<void(int ms, bool untilInput)>;

// Runs the whole exchange on an open port, logging every byte sent and received.
ExchangeResult RunReadExchange(SerialHandle port, const ExchangePause& pause);

// The message for a failed exchange (empty for success).
const char* ExchangeFailureText(ExchangeOutcome outcome);

// A plain sleep.
void SleepMs(int ms);

// A pause without a window: sleeps, or waits on the port when it may end at its input.
void PlainPause(SerialHandle port, int ms, bool untilInput);

}  // namespace odomei
