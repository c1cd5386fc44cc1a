// Files as the program's own services need them: the working directory, an append under an
// exclusive lock (the communication log), and the process's standard streams.
#pragma once

#include <optional>
#include <string>

namespace odomei {

// The process's current directory, or nothing when it cannot be determined.
std::optional<std::string> CurrentDirectory();

enum class AppendResult {
    kDone,
    kOpenFailed,   // the file could not be opened or created, or another program holds its lock
    kWriteFailed,  // emptying, writing or closing failed
};

// Opens path for writing (creating it), takes an exclusive lock without waiting for it, empties
// the file first when emptyFirst is set, and appends bytes. The file is emptied only once the lock
// is held, so a file another writer holds is never touched. reason receives why it failed.
AppendResult AppendLocked(const std::string& path, bool emptyFirst, const std::string& bytes,
                          std::string* reason);

// True when standard output (1) or standard error (2) is a terminal.
bool IsTerminal(int stream);

// Writes all bytes to standard output; false when they could not all be written.
bool WriteStandardOutput(const std::string& bytes);

}  // namespace odomei
