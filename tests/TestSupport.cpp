#include "tests/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "data/Logbook.h"
#include "platform/Clock.h"

namespace odomei::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "odomei-test-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

ScopedCwd::ScopedCwd(const std::string& dir) : m_previous(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
}

ScopedCwd::~ScopedCwd() { std::filesystem::current_path(m_previous); }

ScratchMount::ScratchMount(std::size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    m_mounted = mount("tmpfs", m_dir.Path().c_str(), "tmpfs", 0, options.c_str()) == 0;
}

ScratchMount::~ScratchMount() {
    if (m_mounted) umount2(m_dir.Path().c_str(), MNT_DETACH);
}

bool ScratchMount::MakeReadOnly() {
    return m_mounted &&
           mount(nullptr, m_dir.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

UnwritableDir::UnwritableDir() {
    if (geteuid() != 0) {
        std::filesystem::permissions(
            m_dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        m_path = m_dir.Path();
        return;
    }
    m_mount = std::make_unique<ScratchMount>(64 * 1024);
    if (m_mount->MakeReadOnly()) m_path = m_mount->Path();
}

UnwritableDir::~UnwritableDir() = default;

LockedFolder::LockedFolder() {
    constexpr std::size_t kBytes = 1 << 20;  // room for a logbook and its journal
    if (geteuid() == 0) m_mount = std::make_unique<ScratchMount>(kBytes);
}

LockedFolder::~LockedFolder() = default;

bool LockedFolder::Lock() {
    if (!m_mount) {
        std::filesystem::permissions(
            m_dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        return true;
    }
    if (!m_mount->Usable()) return false;
    for (const auto& entry : std::filesystem::directory_iterator(m_mount->Path())) {
        const std::string file = entry.path().string();
        if (mount(file.c_str(), file.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    }
    // Read-only at this mount only: the files' own mounts stay writable.
    return mount(nullptr, m_mount->Path().c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                 nullptr) == 0;
}

LockHolder::LockHolder(const std::string& path) {
    int ready[2];
    if (pipe(ready) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
        // Only async-signal-safe calls here: the test program has threads.
        const int fd = open(path.c_str(), O_RDWR);
        const char ok = (fd >= 0 && flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 'n';
    m_holding = m_pid > 0 && read(ready[0], &ok, 1) == 1 && ok == 'y';
    close(ready[0]);
    close(ready[1]);
}

LockHolder::~LockHolder() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

FakeTerminals::FakeTerminals(std::string sys, std::string proc)
    : m_sys(std::move(sys)), m_proc(std::move(proc)) {}

FakeTerminals::~FakeTerminals() {
    for (const int fd : m_masters) close(fd);
}

void FakeTerminals::Add(const std::string& node, const std::string& tty) {
    namespace fs = std::filesystem;
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0) << std::strerror(errno);
    m_masters.push_back(master);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slave = ptsname(master);
    struct stat st {};
    ASSERT_EQ(stat(slave.c_str(), &st), 0);
    fs::create_directories(fs::path(node).parent_path());
    fs::create_symlink(slave, node);
    const std::string number =
        std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    fs::create_directories(m_sys + "/dev/char");
    fs::create_directories(m_sys + "/class/tty/" + tty);
    fs::create_directory_symlink(m_sys + "/class/tty/" + tty, m_sys + "/dev/char/" + number);
    // The kernel's own line for pseudo-terminals, with this kernel's number for them.
    fs::create_directories(m_proc + "/tty");
    WriteBytes(m_proc + "/tty/drivers", "pty_slave            /dev/pts      " +
                                            std::to_string(major(st.st_rdev)) +
                                            " 0-1048575 pty:slave\n");
}

DateWatch::DateWatch() {
    const LocalTime now = SystemLocalTime();
    m_year = now.year;
    m_month = now.month;
    m_day = now.day;
}

bool DateWatch::SameDate() const {
    const LocalTime now = SystemLocalTime();
    if (now.year == m_year && now.month == m_month && now.day == m_day) return true;
    std::fprintf(stderr,
                 "Midnight passed during this test: the log written meanwhile is not checked.\n");
    return false;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

void MakeDatabase(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        ADD_FAILURE() << path << ": " << (message ? message : "?");
    }
    sqlite3_free(message);
    sqlite3_close(db);
}

std::string QueryRows(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) out = "no query";
    while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            const auto* text = sqlite3_column_text(st, c);
            out += (c ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "~");
        }
        out += "\n";
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

void SpoilPagesAfterFirst(const std::string& path) {
    constexpr std::size_t kPageSizeAt = 16;  // big-endian, in the file's header
    std::string bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), kPageSizeAt + 1);
    const std::size_t page =
        static_cast<std::size_t>(static_cast<unsigned char>(bytes[kPageSizeAt])) << 8 |
        static_cast<unsigned char>(bytes[kPageSizeAt + 1]);
    ASSERT_LT(page, bytes.size()) << "a logbook of one page";
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(page), bytes.end(), '\xFF');
    WriteBytes(path, bytes);
}

void StoreUncheckedRecord(const std::string& path, const std::vector<std::string>& texts) {
    ASSERT_EQ(texts.size(), 6u);
    ASSERT_NE(Logbook::Open(path, nullptr, LogbookAccess::kWrite), nullptr);  // the tables
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "INSERT INTO reads(read_at, source, vehicle_id) VALUES('2026-12-07 "
                           "10:00:00', 'import', 1)",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO records(read_id, date_text, distance_text, fuel_text, "
                       "correction_text, refuel_text, error_text, distance, fuel, correction, "
                       "refuel, vehicle_id) VALUES(last_insert_rowid(),?,?,?,?,?,?,?,?,?,?,1)",
                       -1, &st, nullptr);
    for (int i = 0; i < 6; ++i) {
        const std::string& text = texts[static_cast<std::size_t>(i)];
        sqlite3_bind_text(st, i + 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        if (i >= 1 && i <= 4) {
            sqlite3_bind_int64(st, i + 6, std::llround(std::strtod(text.c_str(), nullptr) * 100));
        }
    }
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

}  // namespace odomei::test
