#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace odomei {
namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as for any new file

mode_t ModeFor(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return kNewFileMode & ~mask;
}

// The file a path names, following a symbolic link so that the link itself survives.
std::string Target(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string target = resolved;
    free(resolved);
    return target;
}

}  // namespace

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

ReplaceResult ReplaceFileAtomically(const std::string& linkOrPath, const std::string& content,
                                    std::string* reason) {
    const std::string path = Target(linkOrPath);
    auto fail = [reason](const char* what) {
        if (reason) *reason = std::string(what) + ": " + std::strerror(errno);
        return false;
    };
    std::string tmp = path + ".XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0) {
        fail("create");
        return ReplaceResult::kCreateFailed;
    }
    bool ok = fchmod(fd, ModeFor(path)) == 0 || fail("chmod");
    ok = ok && (WriteAll(fd, content) || fail("write"));
    ok = ok && (fsync(fd) == 0 || fail("flush"));
    if (close(fd) != 0 && ok) ok = fail("close");
    ok = ok && (rename(tmp.c_str(), path.c_str()) == 0 || fail("rename"));
    if (!ok) {
        unlink(tmp.c_str());
        return ReplaceResult::kWriteFailed;
    }
    return ReplaceResult::kDone;
}

}  // namespace odomei
