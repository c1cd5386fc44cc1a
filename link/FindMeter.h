// Finding the meter: a read tried on each candidate port in turn, stopping at the first that
// answers with a verified block. Only the exchange's own bytes are sent (STX, NAK, ACK) and every
// try goes to the communication log; a port that does not start answering soon is left for the
// next, so a search costs about two seconds per silent port.
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
    std::vector<SearchTry> tries;  // every candidate tried, in order (the found one last)
    bool cancelled = false;        // the caller stopped it (the program is ending)
    // One line per try: "COM3 (/dev/ttyUSB0): no answer within 1500 ms".
    std::string Describe() const;
};

// Waits as ExchangePause does, on the port being tried.
using SearchPause = std::function<int(SerialHandle port, int ms, bool untilInput)>;
// Told which candidate is being tried (its index) before its port is opened, and at every poll
// of its exchange; false stops the whole search.
using SearchWatch = std::function<bool(std::size_t index, const ExchangeProgress&)>;

// Tries the candidates in order with the meter's line settings and the read-out exchange; a
// label naming each port goes to the log before its bytes. The system's console (as roots show
// it) is never opened. Without an answer the search ends as a read of the most telling port
// would: a bad check byte (the meter on a line that spoils its bytes), else a line that took no
// byte, else a time-out (silence, or no port that could be opened); the first such try counts.
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
