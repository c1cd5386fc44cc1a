#include "link/FindMeter.h"

#include "platform/Clock.h"

namespace odomei {
namespace {

// The label before each try's bytes in the log.
constexpr const char* kSearchLabel = "onSearch ";

// How much a try that found no meter says about where it is: a port that answered with a bad
// check byte most, then a line that refused the exchange's bytes, then silence; a port that could
// not be opened (or was not tried) says nothing.
int Telling(const SearchTry& t) {
    if (!t.opened || t.silent) return t.opened ? 1 : 0;
    switch (t.outcome) {
        case ExchangeOutcome::kBccError: return 3;
        case ExchangeOutcome::kStxFailed:
        case ExchangeOutcome::kNakFailed:
        case ExchangeOutcome::kAckFailed: return 2;
        default: return 1;
    }
}

// The search's outcome when no port answered with a verified block.
MeterRead MostTelling(const std::vector<SearchTry>& tries) {
    const SearchTry* most = nullptr;
    for (const SearchTry& t : tries) {
        if (most == nullptr || Telling(t) > Telling(*most)) most = &t;
    }
    if (most == nullptr)
        return MeterRead{ExchangeOutcome::kTimedOut, FailureOf({}, "no port was tried"), {}};
    const ExchangeOutcome outcome =
        Telling(*most) >= 2 ? most->outcome : ExchangeOutcome::kTimedOut;
    return MeterRead{outcome, FailureOf({}, CandidateName(most->port) + ": " + most->reason), {}};
}

// Where a search looks: the USB adapters, the ports [Ports] names, and with hardwareToo every
// other.
bool InScope(const SurveyedPort& p, bool hardwareToo) { return p.usb || p.fromIni || hardwareToo; }

}  // namespace

std::vector<std::size_t> SearchOrder(const PortSurvey& survey, bool hardwareToo) {
    auto wanted = [hardwareToo](const SurveyedPort& p) {
        return p.state == PortState::kFree && InScope(p, hardwareToo);
    };
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < survey.ports.size(); ++i) {
        if (survey.ports[i].current && wanted(survey.ports[i])) order.push_back(i);
    }
    for (std::size_t i = 0; i < survey.ports.size(); ++i) {
        if (!survey.ports[i].current && wanted(survey.ports[i])) order.push_back(i);
    }
    return order;
}

std::vector<std::size_t> SearchLeavesOut(const PortSurvey& survey, bool hardwareToo) {
    std::vector<std::size_t> left;
    for (std::size_t i = 0; i < survey.ports.size(); ++i) {
        const SurveyedPort& p = survey.ports[i];
        if (p.state != PortState::kFree && InScope(p, hardwareToo)) left.push_back(i);
    }
    return left;
}

MeterCandidate CandidateOf(const SurveyedPort& port) {
    return {port.number, port.device, port.stableName};
}

std::string CandidateName(const MeterCandidate& port) {
    const std::string& device = port.stableName.empty() ? port.device : port.stableName;
    if (port.number <= 0) return device;
    return ComName(port.number) + " (" + device + ")";
}

std::string MeterSearch::Describe() const {
    std::string text;
    for (const SearchTry& t : tries) {
        if (!text.empty()) text += "\n";
        text += CandidateName(t.port) + ": " + t.reason;
    }
    return text;
}

MeterSearch FindMeter(const std::vector<MeterCandidate>& candidates, const CommLog& log,
                      const SearchPause& pause, const SearchWatch& watch,
                      const SurveyRoots& roots) {
    MeterSearch search;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const MeterCandidate& candidate = candidates[i];
        if (watch && !watch(i, ExchangeProgress{})) {
            search.cancelled = true;
            return search;
        }
        SearchTry attempt{candidate, false, ExchangeOutcome::kTimedOut, false, {}};
        // Never the system's console, whatever the caller passed.
        if (const auto refusal = RefuseConsole(candidate.device, roots)) {
            attempt.reason = "not tried: " + refusal->reason.en;
            search.tries.push_back(std::move(attempt));
            continue;
        }
        SerialHandle port = nullptr;
        Failure why;
        // By its device: a [Ports] entry or the machine's numbering must not send the try
        // anywhere else.
        if (OpenSerialPortByName(&port, candidate.device, kLineBaud, kLineDataBits, kLineParityNone,
                                 kLineOneStopBit, 0, PortMap(), &why) == 0) {
            attempt.reason = "cannot be opened: " + why.reason.en;
            search.tries.push_back(std::move(attempt));
            continue;
        }
        attempt.opened = true;
        // As a session opens it: both lines raised (a pseudo-terminal has none).
        port->EscapeCommFunction(kSetRts);
        port->EscapeCommFunction(kSetDtr);
        log.WriteCommLog((kSearchLabel + CandidateName(candidate)).c_str(), 0, 't');
        port->SetCommMask(kEvRxChar);

        // Silence is measured from the STX (or the last byte, or a retry): any progress restarts
        // the wait, so a meter that answers slowly but steadily is still found.
        bool stopped = false;
        int lastReceived = -1, lastAttempt = 0;
        std::int64_t since = MonotonicMs();
        const ExchangeResult exchange = RunReadExchange(
            port, log,
            [&pause, port](int ms, bool untilInput) { return pause(port, ms, untilInput); },
            [&](const ExchangeProgress& p) {
                if (watch && !watch(i, p)) {
                    stopped = true;
                    return false;
                }
                if (p.received != lastReceived || p.attempt != lastAttempt) {
                    lastReceived = p.received;
                    lastAttempt = p.attempt;
                    since = MonotonicMs();
                    return true;
                }
                if (MonotonicMs() - since > kSearchAnswerWaitMs) {
                    attempt.silent = true;
                    return false;
                }
                return true;
            });
        CloseSerialPort(port);
        attempt.outcome = exchange.outcome;
        if (stopped) {
            search.cancelled = true;
            attempt.reason = "the search was stopped";
            search.tries.push_back(std::move(attempt));
            return search;
        }
        if (exchange.outcome == ExchangeOutcome::kBlockReceived) {
            attempt.reason = "the meter answered";
            search.tries.push_back(attempt);
            search.found = true;
            search.port = candidate;
            search.read = MeterRead{exchange.outcome, {}, {}};
            search.read.reading = DecodeReading(MeasurementBlock(exchange.block));
            return search;
        }
        if (attempt.silent) {
            attempt.reason =
                lastReceived > 0
                    ? "stopped answering after " + std::to_string(lastReceived) + " bytes"
                    : "no answer within " + std::to_string(kSearchAnswerWaitMs) + " ms";
        } else {
            attempt.reason =
                exchange.reason.empty() ? ExchangeFailureText(exchange.outcome) : exchange.reason;
        }
        search.tries.push_back(std::move(attempt));
    }
    search.read = MostTelling(search.tries);
    return search;
}

}  // namespace odomei
