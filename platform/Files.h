// Files as the program's own services need them: the working directory, an append under an
// exclusive lock (the communication log), and the process's standard streams.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Failure.h"

namespace odomei {

// The process's current directory, or nothing (with the reason, and no subject) when it cannot be
// determined: it was deleted, or a folder above it may not be read.
std::optional<std::string> CurrentDirectory(Failure* failure = nullptr);

// What separates a folder from the names in it, as the system writes it: '/', on Windows '\\'.
extern const char kPathSeparator;
// A path that does not depend on the working directory: /etc, C:\data, \\server\share.
bool IsAbsolutePath(const std::string& path);
// path as the system resolves it, with folder (ending in a separator) standing for the working
// directory of a relative one. On Windows "\\x" is on the working directory's drive and "D:x" in
// drive D's own working directory, as the system resolves them: neither is under folder.
std::string ResolvePath(const std::string& folder, const std::string& path);

enum class AppendResult {
    kDone,
    kOpenFailed,   // the file could not be opened or created, is no regular file (a FIFO, a
                   // device, a folder), or another program holds its lock
    kTimeFailed,   // its last-write time could not be had
    kWriteFailed,  // emptying, writing or closing failed
};

// Opens path for writing (creating it) without ever waiting, takes an exclusive lock without
// waiting for it, then asks emptyIf with the file's last-write time whether to empty it first,
// and appends bytes. Both the decision and the emptying happen under the lock, so entries
// another writer made meanwhile are never lost. failure receives the path and why it failed.
AppendResult AppendLocked(const std::string& path, const std::string& bytes,
                          const std::function<bool(const LocalTime& lastWrite)>& emptyIf,
                          Failure* failure);

enum class ReadResult {
    kRead,
    kMissing,   // there is no such file
    kUnusable,  // not a regular file (a folder, FIFO, device), larger than allowed, or unreadable
};

// Reads a regular file of at most maxBytes whole, never waiting (a FIFO without a writer) and
// never reading a device. failure (if given) names the path and says why it could not.
ReadResult ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string* bytes,
                           Failure* failure = nullptr);

// The first count bytes of a regular file (all of it where it is shorter), on the same terms.
ReadResult ReadFileStart(const std::string& path, std::size_t count, std::string* bytes,
                         Failure* failure = nullptr);

// What is known of a path before a library of its own (SQLite) opens it: whether there is a
// file, of what kind and size, and whether it may be written. writable follows the file's own
// permission, not who asks: root is refused a read-only file as everyone else is.
struct FileFacts {
    bool exists = false;
    bool regular = false;  // not a folder, FIFO or device
    std::uint64_t size = 0;
    bool writable = false;
};
FileFacts LookAtFile(const std::string& path);

// True when standard output (1) or standard error (2) is a terminal.
bool IsTerminal(int stream);
// Lets a console show the UTF-8 text the program writes to standard error (Windows' consoles
// otherwise take the ANSI code page); nothing to do elsewhere. The console, which is the shell's,
// gets its code page and mode back when the program ends, by Ctrl+C or a closed console too.
void UseUtf8Console();
// The program's arguments in UTF-8: argv as it is, or on Windows the command line's own UTF-16.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Writes all bytes to standard output; false when they could not all be written, or once a
// signal caught by CatchInterrupts has arrived.
bool WriteStandardOutput(const std::string& bytes);

}  // namespace odomei
