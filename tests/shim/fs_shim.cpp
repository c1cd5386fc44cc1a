// Preloaded into odomei-cli by the tests to play a filesystem that misbehaves, as named in
// ODOMEI_SHIM (comma-separated):
//   nochmod    fchmod and fchown are refused (EPERM), as on a FAT stick or some network shares
//   dirsync    flushing a folder fails (EIO)
//   slowsync   flushing a file takes a second, as on a slow disk
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool Wants(const char* what) {
    const char* list = std::getenv("ODOMEI_SHIM");
    return list != nullptr && std::strstr(list, what) != nullptr;
}

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int fchmod(int fd, mode_t mode) {
    if (Wants("nochmod")) {
        errno = EPERM;
        return -1;
    }
    return Real<int (*)(int, mode_t)>("fchmod")(fd, mode);
}

int fchown(int fd, uid_t owner, gid_t group) {
    if (Wants("nochmod")) {
        errno = EPERM;
        return -1;
    }
    return Real<int (*)(int, uid_t, gid_t)>("fchown")(fd, owner, group);
}

int fsync(int fd) {
    struct stat st {};
    const bool folder = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    if (folder && Wants("dirsync")) {
        errno = EIO;
        return -1;
    }
    if (!folder && Wants("slowsync")) sleep(1);
    return Real<int (*)(int)>("fsync")(fd);
}
}
