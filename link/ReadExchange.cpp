#include "link/ReadExchange.h"

#include <time.h>

#include <algorithm>

#include "log/CommLog.h"

namespace odomei {
namespace {

constexpr int kReceiveBufferSize = 1000;
constexpr int kIdlePollMs = 10;
constexpr int kIdlePollLimit = 1000;  // about ten seconds of silence
constexpr int kAttempts = 3;
constexpr int kPauseAfterNakMs = 100;

void LogSent(std::uint8_t byte) {
    WriteCommLog("onSend", 0, 't');
    WriteCommLog(&byte, 1, 'd');
}

bool Send(SerialHandle port, std::uint8_t byte) {
    if (WriteSerial(port, &byte, 1, 0) != kSerialOk) return false;
    LogSent(byte);
    return true;
}

}  // namespace

void SleepMs(int ms) {
    timespec t{ms / 1000, static_cast<long>(ms % 1000) * 1000000};
    while (nanosleep(&t, &t) != 0) {
    }
}

void PlainPause(SerialHandle port, int ms, bool untilInput) {
    if (untilInput && port != nullptr) {
        port->WaitForInput(ms);
    } else {
        SleepMs(ms);
    }
}

const char* ExchangeFailureText(ExchangeOutcome outcome) {
    switch (outcome) {
        case ExchangeOutcome::kBlockReceived: return "";
        case ExchangeOutcome::kStxFailed: return "コマンド送信処理でエラーが発生しました(STX)";
        case ExchangeOutcome::kTimedOut:
            return "コマンド受信処理でエラーが発生しました(タイムアウト)";
        case ExchangeOutcome::kNakFailed: return "コマンド送信処理でエラーが発生しました(NAK)";
        case ExchangeOutcome::kBccError: return "ＢＣＣエラーが発生しました";
        case ExchangeOutcome::kAckFailed: return "コマンド送信処理でエラーが発生しました(ACK)";
    }
    return "";
}

ExchangeResult RunReadExchange(SerialHandle port, const ExchangePause& pause) {
    ExchangeResult result;
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    for (int attempt = 0;;) {
        buffer.fill(0);
        int received = 0;
        if (port != nullptr) port->PurgeComm(PURGE_RXCLEAR);
        if (!Send(port, STX)) {
            result.outcome = ExchangeOutcome::kStxFailed;
            return result;
        }

        int idlePolls = 0;
        int failedReads = 0;
        bool timedOut = false;
        while (received < static_cast<int>(kBlockSize)) {
            ComStat stat;
            std::uint32_t errors = 0;
            if (port == nullptr || !port->ClearCommError(&errors, &stat)) {
                timedOut = true;  // the device has gone: no answer will come
                break;
            }
            if (stat.cbInQue == 0) {
                pause(kIdlePollMs, true);
                if (idlePolls > kIdlePollLimit) {
                    timedOut = true;
                    break;
                }
                ++idlePolls;
                continue;
            }
            // Never more than the buffer holds, keeping one byte for the zero the read adds;
            // what does not fit stays queued for the next poll.
            const int room = kReceiveBufferSize - 1 - received;
            const int n = std::min(static_cast<int>(stat.cbInQue), room);
            if (ReadSerial(port, buffer.data() + received, n, 0) != kSerialOk) {
                if (received != 0) {
                    WriteCommLog("onClear", 0, 't');
                    WriteCommLog(buffer.data(), received, 'd');
                }
                buffer.fill(0);
                received = 0;
                // A device that keeps announcing bytes it cannot deliver must neither spin a
                // core nor hold the program forever.
                pause(kIdlePollMs, false);
                if (++failedReads > kIdlePollLimit) {
                    timedOut = true;
                    break;
                }
                continue;
            }
            received += n;
        }
        if (received != 0) {
            WriteCommLog("onReceive", 0, 't');
            WriteCommLog(buffer.data(), received, 'd');
        }
        if (timedOut) {
            result.outcome = ExchangeOutcome::kTimedOut;
            return result;
        }
        const MeasurementBlock block(buffer.data(), kBlockSize);
        if (BlockCheck(block) == block[kCheckByteOffset]) {
            std::copy(block.begin(), block.end(), result.block.begin());
            break;
        }
        if (!Send(port, NAK)) {
            result.outcome = ExchangeOutcome::kNakFailed;
            return result;
        }
        pause(kPauseAfterNakMs, false);
        if (++attempt >= kAttempts) {
            result.outcome = ExchangeOutcome::kBccError;
            return result;
        }
    }
    if (!Send(port, ACK)) {
        result.outcome = ExchangeOutcome::kAckFailed;
        return result;
    }
    result.outcome = ExchangeOutcome::kBlockReceived;
    return result;
}

}  // namespace odomei
