// The Windows services under the engine, on Wine: files, the log's lock, settings, the logbook,
// the port list and a port that cannot be opened.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <windows.h>

#include <array>
#include <fstream>
#include <iterator>
#include <vector>

#include "data/Decoder.h"
#include "data/Logbook.h"
#include "link/FilePaths.h"
#include "link/SerialPort.h"
#include "log/CommLog.h"
#include "platform/AtomicFile.h"
#include "platform/Files.h"
#include "platform/PortMap.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/win/ReplaceCalls.h"

namespace odomei {
namespace {

// A fresh folder under the system's temporary folder, removed with its files.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        for (int i = 0;; ++i) {
            m_path = Narrow(base) + "odomei-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(i);
            if (CreateDirectoryW(Wide(m_path).c_str(), nullptr)) break;
        }
    }
    ~TempFolder() {
        WIN32_FIND_DATAW found{};
        HANDLE h = FindFirstFileW(Wide(m_path + "\\*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring file = Wide(m_path + "\\") + found.cFileName;
                SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveDirectoryW(file.c_str());
                } else {
                    DeleteFileW(file.c_str());
                }
            } while (FindNextFileW(h, &found));
            FindClose(h);
        }
        RemoveDirectoryW(Wide(m_path).c_str());
    }
    std::string File(const std::string& name) const { return m_path + "\\" + name; }
    const std::string& Path() const { return m_path; }
    int Count() const {
        int n = 0;
        WIN32_FIND_DATAW found{};
        HANDLE h = FindFirstFileW(Wide(m_path + "\\*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) return 0;
        do {
            if (found.cFileName[0] != L'.' ||
                (found.cFileName[1] != 0 && found.cFileName[1] != L'.'))
                ++n;
        } while (FindNextFileW(h, &found));
        FindClose(h);
        return n;
    }

    static std::wstring Wide(const std::string& s) {
        std::wstring w(s.size(), L'\0');
        w.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, s.data(),
                                                              static_cast<int>(s.size()), w.data(),
                                                              static_cast<int>(w.size()))));
        return w;
    }
    static std::string Narrow(const std::wstring& w) {
        std::string s(w.size() * 3, '\0');
        s.resize(static_cast<std::size_t>(
            WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(),
                                static_cast<int>(s.size()), nullptr, nullptr)));
        return s;
    }

private:
    std::string m_path;
};

std::string ReadBytes(const std::string& path) {
    std::string bytes;
    return ReadRegularFile(path, 1 << 20, &bytes) == ReadResult::kRead ? bytes : "<unreadable>";
}

TEST(WindowsFiles, AReplaceLeavesTheNewBytesAndNoTemporaryFile) {
    TempFolder dir;
    // A name in Japanese: paths cross the API as UTF-16.
    const std::string path = dir.File("燃費データ.csv");
    ASSERT_EQ(ReplaceFileAtomically(path, "first\r\n"), ReplaceResult::kDone);
    ASSERT_EQ(ReplaceFileAtomically(path, "second\r\n"), ReplaceResult::kDone);
    EXPECT_EQ(ReadBytes(path), "second\r\n");
    EXPECT_EQ(dir.Count(), 1);
}

TEST(WindowsFiles, AReadOnlyFileOrAFolderIsNotReplaced) {
    TempFolder dir;
    const std::string path = dir.File("kept.csv");
    ASSERT_EQ(ReplaceFileAtomically(path, "kept"), ReplaceResult::kDone);
    SetFileAttributesW(TempFolder::Wide(path).c_str(), FILE_ATTRIBUTE_READONLY);
    Failure failure;
    EXPECT_EQ(ReplaceFileAtomically(path, "lost", &failure), ReplaceResult::kCreateFailed);
    EXPECT_NE(failure.reason.en.find("read-only"), std::string::npos) << failure.reason.en;
    EXPECT_EQ(ReadBytes(path), "kept");
    EXPECT_EQ(ReplaceFileAtomically(dir.Path(), "x", &failure), ReplaceResult::kCreateFailed);
    EXPECT_EQ(ReplaceFileAtomically(dir.File("no-such-folder\\f.csv"), "x", &failure),
              ReplaceResult::kCreateFailed);
    EXPECT_EQ(dir.Count(), 1);
}

// ReplaceFileW's failures played as Windows leaves the files (without a backup name, 1176 has
// removed the old file), and the following move refused as a virus scanner holding the new file
// makes it: the old file is kept or put back, or where it cannot be, both files stay and the
// reason says where.
TEST(WindowsFiles, AFailedReplaceNeverLosesTheOldFile) {
    struct Case {
        DWORD replaceError;
        bool moveInWorks, moveBackWorks;
        ReplaceResult result;
        const char* atPath;  // nullptr: no file there
        int files;
    };
    const Case cases[] = {
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, false, true, ReplaceResult::kWriteFailed, "old", 1},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, false, true, ReplaceResult::kWriteFailed, "old", 1},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, false, false, ReplaceResult::kWriteFailed, nullptr, 2},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, true, true, ReplaceResult::kDone, "new", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.replaceError << " " << c.moveInWorks);
        TempFolder dir;
        const std::string path = dir.File("KORVANA.ini");
        ASSERT_EQ(ReplaceFileAtomically(path, "old"), ReplaceResult::kDone);
        const std::wstring lost = TempFolder::Wide(dir.File("lost"));
        winapi::ReplaceCalls calls;
        calls.replace = [&](LPCWSTR replaced, LPCWSTR, LPCWSTR backup) {
            if (c.replaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 || backup == nullptr)
                MoveFileExW(replaced, backup != nullptr ? backup : lost.c_str(), 0);
            if (c.replaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT && backup == nullptr)
                DeleteFileW(lost.c_str());
            SetLastError(c.replaceError);
            return FALSE;
        };
        calls.move = [&](LPCWSTR from, LPCWSTR to, DWORD flags) {
            const bool moveIn = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
            if (moveIn ? !c.moveInWorks : !c.moveBackWorks) {
                SetLastError(ERROR_SHARING_VIOLATION);
                return FALSE;
            }
            return MoveFileExW(from, to, flags);
        };
        const winapi::ReplaceCalls previous = winapi::SetReplaceCalls(calls);
        Failure failure;
        const ReplaceResult result = ReplaceFileAtomically(path, "new", &failure);
        winapi::SetReplaceCalls(previous);
        EXPECT_EQ(result, c.result) << failure.reason.en;
        EXPECT_EQ(ReadBytes(path), c.atPath != nullptr ? c.atPath : "<unreadable>");
        EXPECT_EQ(dir.Count(), c.files);
        if (c.atPath == nullptr) {
            const std::string& reason = failure.reason.en;
            const auto kept = reason.find("kept as "), old = reason.find(", the old one as ");
            ASSERT_TRUE(kept != std::string::npos && old != std::string::npos) << reason;
            EXPECT_EQ(ReadBytes(reason.substr(kept + 8, old - kept - 8)), "new");
            EXPECT_EQ(ReadBytes(reason.substr(old + 17)), "old");
        }
    }
}

TEST(WindowsFiles, TheLogIsAppendedUnderALockAndRefusedWhileAnotherHoldsIt) {
    TempFolder dir;
    const std::string path = dir.File("KORVANA.log");
    std::optional<LocalTime> seen;
    auto keep = [&](const LocalTime& t) {
        seen = t;
        return false;
    };
    ASSERT_EQ(AppendLocked(path, "one\r\n", keep, nullptr), AppendResult::kDone);
    // The day is told from the file's last-write time in Windows' local time (read here the
    // way Explorer shows it, so that no clock reading can fall on the other side of midnight).
    HANDLE file = CreateFileW(TempFolder::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME written{};
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);
    ASSERT_TRUE(FileTimeToSystemTime(&written, &utc));
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    ASSERT_EQ(AppendLocked(path, "two\r\n", keep, nullptr), AppendResult::kDone);
    EXPECT_EQ(ReadBytes(path), "one\r\ntwo\r\n");
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ((std::vector<int>{seen->year, seen->month, seen->day, seen->hour, seen->minute,
                                seen->second, seen->millisecond}),
              (std::vector<int>{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                                local.wSecond, local.wMilliseconds}));
    EXPECT_EQ(AppendLocked(
                  path, "new day\r\n", [](const LocalTime&) { return true; }, nullptr),
              AppendResult::kDone);
    EXPECT_EQ(ReadBytes(path), "new day\r\n");

    HANDLE other =
        CreateFileW(TempFolder::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    OVERLAPPED whole{};
    ASSERT_TRUE(LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));
    Failure failure;
    EXPECT_EQ(AppendLocked(path, "lost\r\n", keep, &failure), AppendResult::kOpenFailed);
    EXPECT_EQ(failure.reason.en, "another program holds the file");
    UnlockFileEx(other, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(other);
    EXPECT_EQ(ReadBytes(path), "new day\r\n");

    // A folder is no log.
    EXPECT_EQ(AppendLocked(dir.Path(), "x", keep, &failure), AppendResult::kOpenFailed);
}

TEST(WindowsFiles, SmallFilesAreReadOnlyWhenTheyAreRegularAndSmallEnough) {
    TempFolder dir;
    std::string bytes;
    EXPECT_EQ(ReadRegularFile(dir.File("none.ini"), 100, &bytes), ReadResult::kMissing);
    EXPECT_EQ(ReadRegularFile(dir.Path(), 100, &bytes), ReadResult::kUnusable);
    EXPECT_EQ(ReadRegularFile("NUL", 100, &bytes), ReadResult::kUnusable);
    ASSERT_EQ(ReplaceFileAtomically(dir.File("big.ini"), std::string(101, 'x')),
              ReplaceResult::kDone);
    EXPECT_EQ(ReadRegularFile(dir.File("big.ini"), 100, &bytes), ReadResult::kUnusable);
    EXPECT_EQ(ReadRegularFile(dir.File("big.ini"), 101, &bytes), ReadResult::kRead);
    EXPECT_EQ(bytes.size(), 101u);
}

TEST(WindowsFiles, TheWorkingFolderGivesTheProgramsPathsWithBackslashes) {
    TempFolder dir;
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(TempFolder::Wide(dir.Path()).c_str()));
    const FilePaths paths = DeriveFilePaths();
    ASSERT_TRUE(paths.Known()) << paths.problem;
    EXPECT_EQ(paths.IniPath(), dir.File("KORVANA.ini"));
    EXPECT_EQ(paths.LogPath(), dir.File("KORVANA.log"));
    EXPECT_EQ(LogbookPath(paths), dir.File(kLogbookFileName));
    // The logbook's path as Windows resolves it: only a plain relative one is under the folder.
    const std::string drive = dir.Path().substr(0, 2);
    for (const auto& [set, resolved] : std::vector<std::pair<std::string, std::string>>{
             {"sub\\book.sqlite3", dir.File("sub\\book.sqlite3")},
             {"\\folder\\x", drive + "\\folder\\x"},
             {"/folder/x", drive + "\\folder\\x"},
             {"Q:x", "Q:\\x"},  // no working directory of its own on drive Q: yet
             {"\\\\server\\share\\x", "\\\\server\\share\\x"}}) {
        ASSERT_TRUE(WriteIniString(kLogbookSection, kLogbookPathKey, set, paths.IniPath()));
        EXPECT_EQ(LogbookPath(paths), resolved) << set;
    }
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(IsAbsolutePath(dir.Path()));
    EXPECT_TRUE(IsAbsolutePath("\\\\server\\share\\x"));
    EXPECT_FALSE(IsAbsolutePath("logbook.sqlite3"));
    EXPECT_FALSE(IsAbsolutePath("C:relative"));
}

TEST(WindowsSettings, TheIniFileIsWrittenAndReadInCp932) {
    TempFolder dir;
    const std::string ini = dir.File("KORVANA.ini");
    ASSERT_TRUE(WriteIniString("SETTING", "PORT", "3", ini));
    ASSERT_TRUE(WriteIniString("Logbook", "Path", "燃費\\記録.sqlite3", ini));
    EXPECT_EQ(ReadIniInt("SETTING", "PORT", 1, ini), 3u);
    EXPECT_EQ(ReadIniString("Logbook", "Path", ini).value_or(""), "燃費\\記録.sqlite3");
    const std::string bytes = ReadBytes(ini);
    EXPECT_NE(bytes.find(Sjis("燃費")), std::string::npos);
    EXPECT_NE(bytes.find("PORT=3\r\n"), std::string::npos);
}

TEST(WindowsSettings, AnIniSavedByNotepadInUtf8IsReadAndWrittenBackInUtf8) {
    TempFolder dir;
    const std::string ini = dir.File("KORVANA.ini");
    const std::string bom = "\xEF\xBB\xBF";
    ASSERT_EQ(ReplaceFileAtomically(ini, bom + "[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=12\r\n[Logbook]"
                                               "\r\nPath=燃費\\記録.sqlite3\r\n"),
              ReplaceResult::kDone);
    EXPECT_EQ(ReadIniInt("シリアル通信設定", "ｼﾘｱﾙﾎﾟｰﾄ番号", 1, ini), 12u);
    EXPECT_EQ(ReadIniString("Logbook", "Path", ini).value_or(""), "燃費\\記録.sqlite3");
    ASSERT_TRUE(WriteIniString("シリアル通信設定", "ｼﾘｱﾙﾎﾟｰﾄ番号", "3", ini));
    ASSERT_TRUE(WriteIniString(kPortsSection, "COM3", "\\\\.\\COM3", ini));
    EXPECT_EQ(ReadBytes(ini),
              bom +
                  "[シリアル通信設定]\r\nｼﾘｱﾙﾎﾟｰﾄ番号=3\r\n[Logbook]\r\nPath=燃費\\記録."
                  "sqlite3\r\n[Ports]\r\nCOM3=\\\\.\\COM3\r\n");
    EXPECT_EQ(PortName(12), "COM12");
}

TEST(WindowsLogbook, TheSampleIsStoredOnceAcrossReadsAndOpens) {
    TempFolder dir;
    std::ifstream in(std::string(ODOMEI_TEST_DATA) + "/sample_block.bin", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), kBlockSize);
    std::array<std::uint8_t, kBlockSize> block{};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    const MeterReading reading = DecodeReading(block);
    const std::string path = dir.File("記録.sqlite3");
    Failure error;
    const auto first = MergeRead(path, reading, GetLocalTime(), ReadTarget{}, &error);
    ASSERT_TRUE(first.has_value()) << FailureLine(error);
    EXPECT_EQ(first->added, 15);
    const auto again = MergeRead(path, reading, GetLocalTime(), ReadTarget{}, &error);
    ASSERT_TRUE(again.has_value()) << FailureLine(error);
    EXPECT_EQ(again->added, 0);
    EXPECT_EQ(again->known, 15);
    const auto book = Logbook::Open(path, &error);
    ASSERT_TRUE(book) << FailureLine(error);
    EXPECT_EQ(book->CountRecords(), 15);
    EXPECT_EQ(book->Records().size(), 15u);
}

// Told by its tables (it has no application id), looked into through an SQLite URI made of a
// Windows path: a drive, backslashes, Japanese, and what a URI would take for more than a name.
TEST(WindowsLogbook, AnotherProgramsDatabaseIsToldByItsTablesWithNoFileBesideIt) {
    TempFolder dir;
    const std::string path = dir.File("他の #%41 データ.db");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA journal_mode = WAL; CREATE TABLE notes(text TEXT)", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    Failure error;
    EXPECT_EQ(Logbook::Open(path, &error), nullptr);
    EXPECT_EQ(FailureLine(error),
              path + ": not an ODOMEI logbook (it holds a table notes of its own)");
    EXPECT_EQ(dir.Count(), 1);  // no -shm, no -wal
}

// The test prefix maps COM1 to the simulator's link and COM2 to COM9 to paths that do not
// exist (never to the machine's own /dev/ttyS*).
TEST(WindowsPorts, TheRegistrysPortsAreListedAsComNames) {
    const auto lister = SystemPortLister();
    const auto ports = PortMap({}, lister.get()).SystemPorts();
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.front().device, "COM1");
    EXPECT_NE(PortMap({}, lister.get()).Describe().find("COM1"), std::string::npos);
    EXPECT_EQ(PortMap({}, lister.get()).DeviceFor("com12").value_or(""), "\\\\.\\COM12");
}

TEST(WindowsPorts, APortWhoseDeviceIsMissingFailsWithTheReason) {
    const SerialOpener scripted = SetSerialOpener({});
    SerialHandle slot = nullptr;
    Failure failure;
    const auto lister = SystemPortLister();
    EXPECT_EQ(
        OpenSerialPortByName(&slot, "COM2", 19200, 8, 0, 1, 0, PortMap({}, lister.get()), &failure),
        0);
    EXPECT_EQ(slot, nullptr);
    EXPECT_FALSE(failure.reason.en.empty());
    // A [Ports] entry still chooses the device where one is given.
    TempFolder dir;
    const std::string ini = dir.File("KORVANA.ini");
    ASSERT_TRUE(WriteIniString(kPortsSection, "COM3", "", ini));
    EXPECT_EQ(OpenSerialPortByName(&slot, "COM3", 19200, 8, 0, 1, 0, PortMap(ini, lister.get()),
                                   &failure),
              0);
    EXPECT_NE(failure.reason.en.find("[Ports]"), std::string::npos) << failure.reason.en;
    SetSerialOpener(scripted);
}

}  // namespace
}  // namespace odomei
