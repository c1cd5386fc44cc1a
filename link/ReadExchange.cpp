#include "link/ReadExchange.h"

#include <algorithm>

#include "data/TextsJa.h"
#include "platform/Clock.h"

namespace odomei {
namespace {

constexpr int kReceiveBufferSize = 1000;
constexpr int kIdlePollMs = 10;
// About ten seconds of waiting for bytes: the attempt times out at the first idle poll that finds
// more than 1000 polls' worth of time (10 s) already waited. What counts is the time the pauses
// actually took, so a pause that bytes ended early counts only as long as it lasted.
constexpr int kIdlePollLimit = 1000;
constexpr std::int64_t kIdleLimitMs = std::int64_t{kIdlePollLimit} * kIdlePollMs;
constexpr int kAttempts = 3;
constexpr int kPauseAfterNakMs = 100;

bool Send(SerialHandle port, const CommLog& log, std::uint8_t byte, std::string* reason) {
    if (WriteSerial(port, &byte, 1, 0) != kSerialOk) {
        *reason = port == nullptr ? "no port is open"
                                  : "the line did not take the byte: " + port->LastError();
        return false;
    }
    log.WriteCommLog("onSend", 0, 't');
    log.WriteCommLog(&byte, 1, 'd');
    return true;
}

}  // namespace

int PlainPause(SerialHandle port, int ms, bool untilInput) {
    const std::int64_t start = MonotonicMicros();
    if (untilInput && port != nullptr) {
        port->WaitForInput(ms);
    } else {
        SleepMs(ms);
    }
    return static_cast<int>((MonotonicMicros() - start + 500) / 1000);
}

const char* ExchangeFailureText(ExchangeOutcome outcome) {
    switch (outcome) {
        case ExchangeOutcome::kBlockReceived: return "";
        case ExchangeOutcome::kStxFailed: return kStxFailedText;
        case ExchangeOutcome::kTimedOut: return kTimedOutText;
        case ExchangeOutcome::kNakFailed: return kNakFailedText;
        case ExchangeOutcome::kBccError: return kBccErrorText;
        case ExchangeOutcome::kAckFailed: return kAckFailedText;
        case ExchangeOutcome::kCancelled: return "";
    }
    return "";
}

ExchangeResult RunReadExchange(SerialHandle port, const CommLog& log, const ExchangePause& pause,
                               const ExchangeWatch& watch) {
    ExchangeResult result;
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    int attempt = 0;
    int received = 0;
    std::int64_t idleMs = 0;  // time spent in idle polls' pauses this attempt
    auto goOn = [&] {
        const auto left =
            static_cast<int>(std::max<std::int64_t>(kIdleLimitMs + kIdlePollMs - idleMs, 0));
        return !watch || watch(ExchangeProgress{attempt + 1, received, left});
    };
    auto end = [&result](ExchangeOutcome outcome) {
        result.outcome = outcome;
        return result;
    };
    for (;;) {
        buffer.fill(0);
        received = 0;
        idleMs = 0;
        if (port != nullptr) port->PurgeComm(kPurgeRxClear);
        if (!goOn()) return end(ExchangeOutcome::kCancelled);
        if (!Send(port, log, STX, &result.reason)) return end(ExchangeOutcome::kStxFailed);

        int failedReads = 0;
        bool timedOut = false;
        bool cancelled = false;
        while (received < static_cast<int>(kBlockSize)) {
            if (!goOn()) {
                cancelled = true;
                break;
            }
            ComStat stat;
            std::uint32_t errors = 0;
            if (port == nullptr || !port->ClearCommError(&errors, &stat)) {
                timedOut = true;  // the device has gone: no answer will come
                result.reason = port == nullptr ? "no port is open"
                                                : "the device went away: " + port->LastError();
                break;
            }
            if (stat.cbInQue == 0) {
                const int waited = pause(kIdlePollMs, true);
                if (idleMs > kIdleLimitMs) {
                    timedOut = true;
                    result.reason =
                        "no answer from the meter for about ten seconds" +
                        std::string(received == 0 ? ""
                                                  : " after " + std::to_string(received) + " of " +
                                                        std::to_string(kBlockSize) + " bytes");
                    break;
                }
                idleMs += std::max(waited, 0);
                continue;
            }
            // Never more than the buffer holds, keeping one byte for the zero the read adds;
            // what does not fit stays queued for the next poll.
            const int room = kReceiveBufferSize - 1 - received;
            const int n = std::min(static_cast<int>(stat.cbInQue), room);
            if (ReadSerial(port, buffer.data() + received, n, 0) != kSerialOk) {
                if (received != 0) {
                    log.WriteCommLog("onClear", 0, 't');
                    log.WriteCommLog(buffer.data(), received, 'd');
                }
                buffer.fill(0);
                received = 0;
                // A device that keeps announcing bytes it cannot deliver must neither spin a
                // core nor hold the program forever.
                pause(kIdlePollMs, false);
                if (++failedReads > kIdlePollLimit) {
                    timedOut = true;
                    result.reason =
                        "the device kept failing to deliver its bytes: " + port->LastError();
                    break;
                }
                continue;
            }
            received += n;
        }
        if (received != 0) {
            log.WriteCommLog("onReceive", 0, 't');
            log.WriteCommLog(buffer.data(), received, 'd');
        }
        if (cancelled) return end(ExchangeOutcome::kCancelled);
        if (timedOut) return end(ExchangeOutcome::kTimedOut);
        const MeasurementBlock block(buffer.data(), kBlockSize);
        if (BlockCheck(block) == block[kCheckByteOffset]) {
            std::copy(block.begin(), block.end(), result.block.begin());
            break;
        }
        if (!goOn()) return end(ExchangeOutcome::kCancelled);
        if (!Send(port, log, NAK, &result.reason)) return end(ExchangeOutcome::kNakFailed);
        pause(kPauseAfterNakMs, false);
        if (++attempt >= kAttempts) {
            result.reason =
                "the block's check byte was wrong " + std::to_string(kAttempts) + " times in a row";
            return end(ExchangeOutcome::kBccError);
        }
    }
    if (!goOn()) return end(ExchangeOutcome::kCancelled);
    if (!Send(port, log, ACK, &result.reason)) return end(ExchangeOutcome::kAckFailed);
    result.reason.clear();
    return end(ExchangeOutcome::kBlockReceived);
}

}  // namespace odomei
