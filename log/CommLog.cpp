#include "log/CommLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace odomei {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr mode_t kNewFileMode = 0666;  // narrowed by the umask

constexpr const char* kOpenError = "通信ログ処理時にエラーが発生しました\n\nファイルオープンエラー";
constexpr const char* kTimeError = "通信ログ処理時にエラーが発生しました\n\nファイル時刻取得エラー";
constexpr const char* kWriteError = "通信ログ処理時にエラーが発生しました\n\n例外エラー";

std::string& LogPath() {
    static std::string path = "KORVANA.log";
    return path;
}

std::string TimeStamp(const LocalTime& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d時%02d分%02d秒%03d：", t.hour, t.minute, t.second,
                  t.millisecond);
    return Sjis(buf);
}

bool SameDate(const LocalTime& a, const LocalTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

void Report(const char* text, const std::string& reason) {
    AfxMessageBox(text, MB_ICONHAND, LogPath() + "\n" + reason);
}

}  // namespace

void SetCommLogPath(std::string path) { LogPath() = std::move(path); }

const std::string& CommLogPath() { return LogPath(); }

void WriteCommLog(const void* data, int count, char mode) {
    const std::string& path = LogPath();
    const LocalTime now = GetLocalTime();

    // A file last written on another date is started afresh; otherwise the entry is appended.
    bool startAfresh = true;
    if (const auto written = GetFileLastWriteTime(path)) {
        startAfresh = !SameDate(*written, now);
    } else if (errno != ENOENT) {
        Report(kTimeError, std::strerror(errno));  // there, but its time cannot be had
        return;
    }

    // Opened without truncating: the file is emptied only once this call holds the lock, so a
    // file that another writer holds is never touched.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, kNewFileMode);
    if (fd < 0) {
        Report(kOpenError, std::strerror(errno));
        return;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        Report(kOpenError,
               err == EWOULDBLOCK ? "another program holds the file" : std::strerror(err));
        return;
    }

    std::string entry;
    if (mode == 't' || mode == 'T') {
        const std::string text(static_cast<const char*>(data));
        entry = TimeStamp(now) + Utf8ToCp932(text).value_or(text) + kLineEnd;
    } else {
        entry = CommLogDump(static_cast<const std::uint8_t*>(data), count);
    }

    bool ok = !startAfresh || ftruncate(fd, 0) == 0;
    ok = ok && lseek(fd, 0, SEEK_END) >= 0;
    ok = ok && WriteAll(fd, entry);
    int err = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) Report(kWriteError, std::strerror(err));
}

}  // namespace odomei
