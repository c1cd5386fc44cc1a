#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Interrupt.h"

namespace odomei {

const char kPathSeparator = '/';

namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as for any new file
constexpr std::size_t kFirstDirectoryBuffer = 256;
constexpr std::size_t kReadChunk = 16384;
constexpr mode_t kWriteBits = 0222;

}  // namespace

std::optional<std::string> CurrentDirectory(Failure* failure) {
    // No fixed limit: the buffer grows until the whole directory fits.
    std::vector<char> buf(kFirstDirectoryBuffer);
    while (getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE) {
            if (failure) *failure = FailureOf({}, std::strerror(errno));
            return std::nullopt;
        }
        buf.resize(buf.size() * 2);
    }
    // Linux marks a working directory that is no longer reachable this way.
    if (buf[0] != '/') {
        if (failure) *failure = FailureOf({}, std::strerror(ENOENT));
        return std::nullopt;
    }
    return std::string(buf.data());
}

AppendResult AppendLocked(const std::string& path, const std::string& bytes,
                          const std::function<bool(const LocalTime& lastWrite)>& emptyIf,
                          Failure* failure) {
    auto why = [&path, failure](const char* text) {
        if (failure) *failure = FailureOf(path, text);
    };
    // Non-blocking, so that a FIFO without a reader fails at once instead of waiting for one.
    const int fd =
        open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, kNewFileMode);
    if (fd < 0) {
        why(std::strerror(errno));
        return AppendResult::kOpenFailed;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        why("not a regular file");
        return AppendResult::kOpenFailed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        why(err == EWOULDBLOCK ? "another program holds the file" : std::strerror(err));
        return AppendResult::kOpenFailed;
    }
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        close(fd);
        why(std::strerror(err));
        return AppendResult::kTimeFailed;
    }
    const bool emptyFirst = emptyIf(FileLocalTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec));
    bool ok = !emptyFirst || ftruncate(fd, 0) == 0;
    ok = ok && lseek(fd, 0, SEEK_END) >= 0;
    ok = ok && WriteAll(fd, bytes);
    int err = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        why(std::strerror(err));
        return AppendResult::kWriteFailed;
    }
    return AppendResult::kDone;
}

FileFacts LookAtFile(const std::string& path) {
    FileFacts facts;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return facts;
    facts.exists = true;
    facts.regular = S_ISREG(st.st_mode);
    facts.size = static_cast<std::uint64_t>(st.st_size);
    facts.writable = (st.st_mode & kWriteBits) != 0 && access(path.c_str(), W_OK) == 0;
    return facts;
}

namespace {

// The file's bytes: all of them, refused when more than maxBytes (whole), or only its first
// maxBytes.
ReadResult ReadFromStart(const std::string& path, std::size_t maxBytes, bool whole,
                         std::string* bytes, Failure* failure) {
    auto why = [&path, failure](const std::string& text) {
        if (failure) *failure = FailureOf(path, text);
    };
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        why(std::strerror(err));
        return err == ENOENT ? ReadResult::kMissing : ReadResult::kUnusable;
    }
    struct stat st {};
    ReadResult result = ReadResult::kUnusable;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why("not a regular file");
    } else if (whole && static_cast<std::size_t>(st.st_size) > maxBytes) {
        why("larger than " + std::to_string(maxBytes) + " bytes");
    } else {
        // As large as the file says, and a look past the limit for one that grew meanwhile.
        std::string text;
        char chunk[kReadChunk];
        text.reserve(std::min(static_cast<std::size_t>(st.st_size), maxBytes));
        for (;;) {
            const std::size_t wanted =
                whole ? sizeof chunk : std::min(sizeof chunk, maxBytes - text.size());
            const ssize_t n = wanted == 0 ? 0 : read(fd, chunk, wanted);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                why(std::strerror(errno));
                break;
            }
            if (n == 0) {
                *bytes = std::move(text);
                result = ReadResult::kRead;
                break;
            }
            text.append(chunk, static_cast<std::size_t>(n));
            if (text.size() > maxBytes) {
                why("larger than " + std::to_string(maxBytes) + " bytes");
                break;
            }
        }
    }
    close(fd);
    return result;
}

}  // namespace

ReadResult ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string* bytes,
                           Failure* failure) {
    return ReadFromStart(path, maxBytes, true, bytes, failure);
}

ReadResult ReadFileStart(const std::string& path, std::size_t count, std::string* bytes,
                         Failure* failure) {
    return ReadFromStart(path, count, false, bytes, failure);
}

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string ResolvePath(const std::string& folder, const std::string& path) {
    return IsAbsolutePath(path) ? path : folder + path;
}

bool IsTerminal(int stream) { return isatty(stream) == 1; }

void UseUtf8Console() {}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool WriteStandardOutput(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        // A signal the program ends on gives the rest up: a full pipe nobody reads, or a
        // terminal paused with Ctrl+S, may never take it. The signal cuts a blocked write short
        // or makes it fail with EINTR.
        if (InterruptSignal() != 0) return false;
        const ssize_t n = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace odomei
