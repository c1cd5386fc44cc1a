// What went wrong, in one shape for every part of the program: what failed and why, with the
// reason in both languages the program speaks. A front end words its message from it in one
// place (ui/Notice.h for the windows, the command line's error lines for odomei-cli).
#pragma once

#include <string>
#include <utility>

namespace odomei {

// A reason in English (standard error, a message box's details) and in Japanese (the windows,
// in the program's style). Either may be empty where nobody is shown it in that language.
struct Reason {
    std::string en;
    std::string ja;

    bool Empty() const { return en.empty() && ja.empty(); }
};

// One failed operation: what it was working on (a file, a device; empty where there is none)
// and why it failed. The system's own words belong in the reason's English.
struct Failure {
    std::string subject;
    Reason reason;

    bool Empty() const { return subject.empty() && reason.Empty(); }
};

// A failure with only an English reason, as most of the engine's are.
inline Failure FailureOf(std::string subject, std::string why) {
    return Failure{std::move(subject), Reason{std::move(why), {}}};
}

// The failure in one line of English, for standard error and the diagnostics: "subject: reason",
// or the reason alone where there is no subject.
inline std::string FailureLine(const Failure& failure) {
    return failure.subject.empty() ? failure.reason.en : failure.subject + ": " + failure.reason.en;
}

// The same failure with subject and reason folded into the reason's one line: for the messages
// whose details name a device or a logbook as "subject: reason" rather than on a line of its own.
inline Failure OnOneLine(const Failure& failure) { return FailureOf({}, FailureLine(failure)); }

}  // namespace odomei
