// odomei-cli's subcommands: what each does once its options are parsed.
#pragma once

#include <string>

namespace odomei::cli {

// Exit statuses: each failure a script may want to tell apart has its own.
enum ExitStatus {
    kExitOk = 0,
    kExitUsage = 2,          // bad options or values
    kExitPortFailed = 3,     // the port cannot be opened
    kExitTimedOut = 4,       // no complete answer in about ten seconds, or the device went away
    kExitBadBlock = 5,       // the block's check byte was wrong three times
    kExitSendFailed = 6,     // STX, NAK or ACK could not be sent
    kExitNoRecord = 7,       // the block held no valid record
    kExitOutputFailed = 8,   // the output could not be written
};

enum class Format { kAuto, kCsv, kJson, kTable };

struct ReadOptions {
    std::string port;          // "COMn" or a device; empty: what KORVANA.ini selects
    Format format = Format::kAuto;
    std::string output;        // empty or "-": standard output
    bool utf8 = false;         // CSV in UTF-8 instead of CP932
    std::string logFile;       // empty: KORVANA.log in the working directory
    bool noLog = false;
    bool quiet = false;
};

int RunRead(const ReadOptions& options);
int RunPorts();

}  // namespace odomei::cli
