// The read-out exchange with the meter: STX, the 216-byte answer, its check byte, NAK and
// retries, ACK. Independent of the window, so it runs against any serial device.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "data/Decoder.h"
#include "link/SerialPort.h"
#include "log/CommLog.h"

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
    kCancelled,  // the front end asked to stop (the user interrupted the program)
};

struct ExchangeResult {
    ExchangeOutcome outcome = ExchangeOutcome::kTimedOut;
    std::array<std::uint8_t, kBlockSize> block{};  // the first 216 bytes of the verified answer
    std::string reason;                            // for a failure: what went wrong, in plain words
};

// Where an exchange stands, for a front end that shows progress.
struct ExchangeProgress {
    int attempt = 1;         // 1 to 3
    int received = 0;        // bytes of this attempt so far
    int msUntilTimeout = 0;  // the idle waiting left before the time-out
};

// Called at every poll of the reception and before every send; returning false stops the
// exchange (kCancelled), with nothing more sent.
using ExchangeWatch = std::function<bool(const ExchangeProgress&)>;

// Waits the given number of milliseconds and returns how many it actually waited (a pause that
// waits on the port must take the session's port as it is then: a read may open it afresh); the
// window keeps painting meanwhile. An idle poll's pause (untilInput) may end early once bytes are
// waiting on the port; the pause after a NAK always lasts its time.
using ExchangePause = std::function<int(int ms, bool untilInput)>;

// Runs the whole exchange on an open port, logging every byte sent and received.
ExchangeResult RunReadExchange(SerialHandle port, const CommLog& log, const ExchangePause& pause,
                               const ExchangeWatch& watch = {});

// The message for a failed exchange (empty for success).
const char* ExchangeFailureText(ExchangeOutcome outcome);

// A pause without a window: sleeps, or waits on the port when it may end at its input. Returns
// the milliseconds it took.
int PlainPause(SerialHandle port, int ms, bool untilInput);

}  // namespace odomei
