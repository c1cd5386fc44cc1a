// Finding the meter: a read tried on every candidate port at once (the ports do not share a
// line), each on a thread of its own, taking the first verified block. Only the exchange's own
// bytes are sent (STX, NAK, ACK) and every try goes to the communication log; a port that does
// not start answering soon is given up, so a search over silent ports costs about one such wait
// (kSearchAnswerWaitMs), however many there are.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "link/MeterSession.h"
#include "link/PortSurvey.h"
#include "log/CommLog.h"

namespace odomei {

// The meter answers STX at once; a port that has sent nothing this long after the STX (or after
// its last byte) is not the meter's.
constexpr int kSearchAnswerWaitMs = 1500;

// A port to try.
struct MeterCandidate {
    int number = 0;          // n of the COMn the port is reached by; 0 when none leads there
    std::string device;      // what opening it opens: /dev/ttyUSB0, \\.\COM3
    std::string stableName;  // /dev/serial/by-id/... where there is one
};

// What became of one candidate.
struct SearchTry {
    MeterCandidate port;
    bool opened = false;
    ExchangeOutcome outcome = ExchangeOutcome::kTimedOut;  // when opened
    bool silent = false;                                   // opened, but nothing answered in time
    std::string reason;  // English, for details and standard error: why it was not the meter
};

struct MeterSearch {
    bool found = false;
    MeterCandidate port;           // the port that answered, when found
    MeterRead read;                // when found its read, records decoded; else the most
                                   // telling failure met, its reason naming the port
    std::vector<SearchTry> tries;  // every candidate, in the candidates' order
    bool cancelled = false;        // the caller stopped it (the program is ending)
    // One line per try: "COM3 (/dev/ttyUSB0): no answer within 1500 ms".
    std::string Describe() const;
};

// The caller's wait while the ports are asked, as ExchangePause waits (the window keeps
// painting): called on the caller's thread for a few milliseconds at a time, with no port (null)
// and untilInput false.
using SearchPause = std::function<int(SerialHandle port, int ms, bool untilInput)>;
// Called on the caller's thread before any port is opened (index 0, no progress) and after each
// of those waits, with the candidate the search is waiting on (the first that is answering, else
// the first whose answer is still awaited) and its exchange's progress; false stops every port at
// once, with nothing more sent.
using SearchWatch = std::function<bool(std::size_t index, const ExchangeProgress&)>;

// Asks every candidate at once with the meter's line settings and the read-out exchange. The
// first candidate (the setting's port, see SearchOrder) is taken when it answers, even after
// another did; else the first other that answered. Every port is sent its STX; once an answer is
// taken the others are sent no retry: an answer that has begun is heard out and given its ACK or
// NAK (never left mid-exchange), a port that has not answered is left a moment after its STX (a
// meter answers at once). Each port's entries are held while it is asked and written at the end,
// port by port in the candidates' order, each after a label naming its port and with its own time
// stamps. The system's console (as roots show it) is never opened. Without an answer the search
// ends as a read of the most telling port would: a bad check byte (the meter on a line that
// spoils its bytes), else a line that took no byte, else a time-out (silence, or no port that
// could be opened); the first such try counts.
MeterSearch FindMeter(const std::vector<MeterCandidate>& candidates, const CommLog& log,
                      const SearchPause& pause, const SearchWatch& watch = {},
                      const SurveyRoots& roots = {});

// The ports a search tries, in order (indices into survey.ports): the one the setting leads to
// first, then the free USB adapters and the ports a [Ports] entry names (the user said where to
// look), and every other free port only when hardwareToo. Consoles and other devices are never
// free, so never tried.
std::vector<std::size_t> SearchOrder(const PortSurvey& survey, bool hardwareToo);
// The ports such a search would try were they free, and leaves out for their state (indices into
// survey.ports, in survey order): what to tell the user, each with its reason.
std::vector<std::size_t> SearchLeavesOut(const PortSurvey& survey, bool hardwareToo);
MeterCandidate CandidateOf(const SurveyedPort& port);

// How a candidate is named to the user: "COM3 (/dev/serial/by-id/...)", or the device alone.
std::string CandidateName(const MeterCandidate& port);

}  // namespace odomei
