#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace odomei {
namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask, as for any new file
constexpr mode_t kWriteBits = 0222;
constexpr int kMaxLinks = 40;  // as the kernel's own limit on a chain of symbolic links
// Short, so that a name near the length limit can still be replaced in its own folder.
constexpr const char* kTemporaryName = ".odomei-XXXXXX";

std::string Folder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a path names: symbolic links are followed one by one, so that a link whose target
// does not exist yet still leads to that target, and the link itself survives. Nothing (errno
// ELOOP) for links that go round in a loop or on further than the kernel would follow them.
std::optional<std::string> Target(std::string path) {
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        if (hops == kMaxLinks) break;
        std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return path;
        const std::string link(buf.data(), static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : Folder(path) + "/" + link;
    }
    errno = ELOOP;
    return std::nullopt;
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return kNewFileMode & ~mask;
}

// Flushes the folder, so that the rename itself survives a power cut. Filesystems that cannot
// flush a folder say so with EINVAL: nothing more can be done there.
bool SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0 || errno == EINVAL;
    const int err = errno;
    close(fd);
    errno = err;
    return ok;
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
                                    Failure* failure) {
    auto fail = [&linkOrPath, failure](const char* what) {
        if (failure)
            *failure = FailureOf(linkOrPath, std::string(what) + ": " + std::strerror(errno));
        return false;
    };
    const auto target = Target(linkOrPath);
    if (!target) {
        fail("symbolic links");
        return ReplaceResult::kCreateFailed;
    }
    const std::string& path = *target;
    struct stat old {};
    const bool exists = stat(path.c_str(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode)) {
            if (failure) *failure = FailureOf(linkOrPath, "not a regular file");
            return ReplaceResult::kCreateFailed;
        }
        // Opening it for writing is what would fail on a read-only file, root or not.
        if ((old.st_mode & kWriteBits) == 0 || access(path.c_str(), W_OK) != 0) {
            if ((old.st_mode & kWriteBits) == 0) errno = EACCES;
            fail("read-only file");
            return ReplaceResult::kCreateFailed;
        }
    }
    const std::string folder = Folder(path);
    std::string tmp = folder + "/" + kTemporaryName;
    const int fd = mkstemp(tmp.data());
    if (fd < 0) {
        fail("create");
        return ReplaceResult::kCreateFailed;
    }
    // Owner, group and mode are a courtesy: a filesystem that refuses them still gets the file.
    if (exists && fchown(fd, old.st_uid, old.st_gid) != 0) (void)!fchown(fd, -1, old.st_gid);
    (void)!fchmod(fd, exists ? (old.st_mode & 07777) : NewFileMode());
    bool ok = WriteAll(fd, content) || fail("write");
    ok = ok && (fsync(fd) == 0 || fail("flush"));
    if (close(fd) != 0 && ok) ok = fail("close");
    ok = ok && (rename(tmp.c_str(), path.c_str()) == 0 || fail("rename"));
    if (!ok) {
        unlink(tmp.c_str());
        return ReplaceResult::kWriteFailed;
    }
    if (!SyncFolder(folder)) {
        fail("flush folder");
        return ReplaceResult::kWriteFailed;
    }
    return ReplaceResult::kDone;
}

}  // namespace odomei
