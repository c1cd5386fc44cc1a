#include "link/FindMeter.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

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

// How often the caller's thread looks at the ports while they are asked; its window paints
// meanwhile.
constexpr int kSearchSliceMs = 20;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// Once another port's answer is taken, how long after its STX a port that has not answered yet is
// still listened to: the meter answers at once, so one whose answer begins a moment late is heard
// out rather than left in the middle of it.
constexpr int kSearchLateAnswerMs = 200;

// Where the candidates' exchanges stand, each run on a thread of its own, as they and the
// caller's thread see it.
class Race {
public:
    explicit Race(std::size_t count) : m_ports(count) {}

    void Report(std::size_t i, const ExchangeProgress& progress) {
        std::lock_guard lock(m_mutex);
        m_ports[i].progress = progress;
    }
    // Port i is done with, its port closed; verified: the meter answered there.
    void Finish(std::size_t i, bool verified) {
        std::lock_guard lock(m_mutex);
        m_ports[i].done = true;
        m_ports[i].verified = verified;
        if (verified && i != 0 && m_firstOther == kNone) m_firstOther = i;
    }
    // True once port i can no longer be the one taken: the first candidate (the setting's port)
    // answered, or, for the others, another one did first.
    bool Outrun(std::size_t i) const {
        std::lock_guard lock(m_mutex);
        if (i == 0) return false;
        return m_ports[0].verified || (m_firstOther != kNone && m_firstOther != i);
    }
    // The port whose answer is taken: the first candidate's, else the first that came.
    std::size_t Taken() const {
        std::lock_guard lock(m_mutex);
        return m_ports.empty() || !m_ports[0].verified ? m_firstOther : 0;
    }
    void Stop() { m_stopped = true; }
    bool Stopped() const { return m_stopped; }
    bool AllDone() const {
        std::lock_guard lock(m_mutex);
        for (const Port& p : m_ports) {
            if (!p.done) return false;
        }
        return true;
    }
    // The port the search is waiting on, for the caller to show: the first that is answering,
    // else the first whose answer is still awaited (shown: the last one, when none is).
    std::size_t Watched(std::size_t shown, ExchangeProgress* progress) const {
        std::lock_guard lock(m_mutex);
        std::size_t waiting = kNone;
        for (std::size_t i = 0; i < m_ports.size(); ++i) {
            const Port& p = m_ports[i];
            if (p.done) continue;
            if (p.progress.received > 0) {
                *progress = p.progress;
                return i;
            }
            if (waiting == kNone) waiting = i;
        }
        if (waiting == kNone) return shown;
        *progress = m_ports[waiting].progress;
        return waiting;
    }

private:
    struct Port {
        ExchangeProgress progress;
        bool done = false;
        bool verified = false;
    };
    mutable std::mutex m_mutex;
    std::vector<Port> m_ports;
    std::size_t m_firstOther = kNone;  // the first candidate but the first to answer
    std::atomic<bool> m_stopped{false};
};

// What became of one candidate, written by its own thread and read once that has ended.
struct Asked {
    SearchTry attempt;
    CommLog held;  // its log entries, written when the search ends
    ExchangeResult exchange;
    bool heard = false;    // bytes came from it
    bool outrun = false;   // left once another port's answer was taken
    bool stopped = false;  // the caller stopped the search
};

// True when bytes are waiting on the port: an answer that has begun.
bool Arriving(SerialHandle port) {
    ComStat stat;
    std::uint32_t errors = 0;
    return port->ClearCommError(&errors, &stat) && stat.cbInQue > 0;
}

// Asks one candidate on its own thread: opens it by its device (a [Ports] entry or the machine's
// numbering must not send the try anywhere else) as a session does, both lines raised (a
// pseudo-terminal has none), and runs the read-out exchange. Once another port's answer is taken
// it is sent no retry: an answer that has begun is heard out and given its ACK or NAK, a port that
// has not answered is left once its STX has had kSearchLateAnswerMs.
void Ask(const MeterCandidate& candidate, std::size_t index, Race& race, Asked& asked) {
    SerialHandle port = nullptr;
    Failure why;
    if (OpenSerialPortByName(&port, candidate.device, kLineBaud, kLineDataBits, kLineParityNone,
                             kLineOneStopBit, 0, PortMap(), &why) == 0) {
        asked.attempt.reason = "cannot be opened: " + why.reason.en;
        race.Finish(index, false);
        return;
    }
    asked.attempt.opened = true;
    port->EscapeCommFunction(kSetRts);
    port->EscapeCommFunction(kSetDtr);
    asked.held.WriteCommLog((kSearchLabel + CandidateName(candidate)).c_str(), 0, 't');
    port->SetCommMask(kEvRxChar);

    // Silence is measured from the STX (or the last byte, or a retry): any progress restarts the
    // wait, so a meter that answers slowly but steadily is still found.
    int lastReceived = -1, lastAttempt = 0;
    std::int64_t since = MonotonicMs();
    asked.exchange = RunReadExchange(
        port, asked.held,
        [port](int ms, bool untilInput) { return PlainPause(port, ms, untilInput); },
        [&](const ExchangeProgress& p) {
            race.Report(index, p);
            if (race.Stopped()) {
                asked.stopped = true;
                return false;
            }
            if (p.received > 0) asked.heard = true;
            // Before a retry's STX (every port is sent the first), or once an STX has had its time
            // to be answered.
            const bool beforeSend = p.attempt != lastAttempt;
            if (p.received == 0 && race.Outrun(index) &&
                ((beforeSend && p.attempt > 1) ||
                 (!beforeSend && MonotonicMs() - since >= kSearchLateAnswerMs &&
                  !Arriving(port)))) {
                asked.outrun = true;
                return false;
            }
            if (p.received != lastReceived || beforeSend) {
                lastReceived = p.received;
                lastAttempt = p.attempt;
                since = MonotonicMs();
                return true;
            }
            if (MonotonicMs() - since > kSearchAnswerWaitMs) {
                asked.attempt.silent = true;
                return false;
            }
            return true;
        });
    CloseSerialPort(port);
    asked.attempt.outcome = asked.exchange.outcome;
    if (asked.attempt.silent) {
        asked.attempt.reason =
            lastReceived > 0 ? "stopped answering after " + std::to_string(lastReceived) + " bytes"
                             : "no answer within " + std::to_string(kSearchAnswerWaitMs) + " ms";
    }
    race.Finish(index, asked.exchange.outcome == ExchangeOutcome::kBlockReceived);
}

// Why a port that was asked is not the one taken (or that it is).
std::string ReasonOf(const Asked& a, std::size_t i, std::size_t taken,
                     const std::vector<MeterCandidate>& candidates) {
    if (a.stopped) return "the search was stopped";
    if (i == taken) return "the meter answered";
    const std::string winner = taken == kNone ? std::string() : CandidateName(candidates[taken]);
    if (a.exchange.outcome == ExchangeOutcome::kBlockReceived) {
        return "answered too; the search took " + winner +
               (taken == 0 ? ", first in its order" : ", which answered first");
    }
    if (a.outrun) {
        return std::string(a.heard ? "not asked again" : "not waited for") +
               " once the meter answered on " + winner;
    }
    return a.exchange.reason.empty() ? ExchangeFailureText(a.exchange.outcome) : a.exchange.reason;
}
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
    if (!candidates.empty() && watch && !watch(0, ExchangeProgress{})) {
        search.cancelled = true;
        return search;
    }
    const std::size_t count = candidates.size();
    Race race(count);
    std::vector<Asked> asked(count);
    std::vector<std::thread> threads;
    threads.reserve(count);
    // However the caller's thread leaves (a pause or a watch that throws), no port is left asked.
    struct Joiner {
        Race& race;
        std::vector<std::thread>& threads;
        ~Joiner() {
            race.Stop();
            for (std::thread& t : threads) {
                if (t.joinable()) t.join();
            }
        }
    } joiner{race, threads};
    for (std::size_t i = 0; i < count; ++i) {
        const MeterCandidate& candidate = candidates[i];
        asked[i].attempt = SearchTry{candidate, false, ExchangeOutcome::kTimedOut, false, {}};
        asked[i].held = log.Holding();
        // Never the system's console, whatever the caller passed.
        if (const auto refusal = RefuseConsole(candidate.device, roots)) {
            asked[i].attempt.reason = "not tried: " + refusal->reason.en;
            race.Finish(i, false);
            continue;
        }
        try {
            threads.emplace_back(
                [&candidate, &race, &asked, i] { Ask(candidate, i, race, asked[i]); });
        } catch (const std::system_error& e) {
            asked[i].attempt.reason =
                std::string("not tried: no thread could be started: ") + e.what();
            race.Finish(i, false);
        }
    }

    // The caller's thread waits (its window painting) and watches until every port is done.
    std::size_t shown = 0;
    while (!race.AllDone()) {
        const std::int64_t start = MonotonicMicros();
        if (pause) pause(nullptr, kSearchSliceMs, false);
        // A pause that returned at once (a signal came) does not turn the wait into a spin.
        const auto took = (MonotonicMicros() - start) / 1000;
        if (took < kSearchSliceMs / 2) SleepMs(kSearchSliceMs - static_cast<int>(took));
        ExchangeProgress progress;
        shown = race.Watched(shown, &progress);
        if (watch && !watch(shown, progress)) {
            race.Stop();
            search.cancelled = true;
            break;
        }
    }
    for (std::thread& t : threads) t.join();
    // Port by port, in the search's order: each port's entries together, with their own times.
    for (const Asked& a : asked) log.WriteHeld(a.held);

    const std::size_t taken = race.Taken();
    for (std::size_t i = 0; i < count; ++i) {
        Asked& a = asked[i];
        if (a.attempt.reason.empty()) a.attempt.reason = ReasonOf(a, i, taken, candidates);
        search.tries.push_back(std::move(a.attempt));
    }
    if (search.cancelled) return search;
    if (taken != kNone) {
        search.found = true;
        search.port = candidates[taken];
        search.read = MeterRead{ExchangeOutcome::kBlockReceived, {}, {}};
        search.read.reading = DecodeReading(MeasurementBlock(asked[taken].exchange.block));
        return search;
    }
    search.read = MostTelling(search.tries);
    return search;
}

}  // namespace odomei
