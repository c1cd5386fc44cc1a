#include "platform/Files.h"

#include <io.h>
#include <windows.h>
// CommandLineToArgvW
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/win/FileTime.h"
#include "platform/win/Wide.h"

namespace odomei {

const char kPathSeparator = '\\';

namespace {

using winapi::ErrorText;
using winapi::WidePath;

constexpr std::size_t kReadChunk = 16384;

// Regular files only: a console, a pipe or a device (CON, NUL, COM1) is refused.
bool IsDiskFile(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A file time on the program's clock (which a test may have set).
LocalTime LocalTimeOfFile(const FILETIME& utc) {
    const std::int64_t ticks = winapi::TicksSince1970(utc);
    return FileLocalTime(ticks / winapi::kFileTicksPerSecond,
                         static_cast<long>(ticks % winapi::kFileTicksPerSecond * 100));
}

// The console's output code page and standard error's mode as the program found them: the
// console belongs to the shell it was started from, which gets them back at the end.
UINT g_consoleCodePage = 0;  // 0: nothing to put back
DWORD g_errorMode = 0;
bool g_errorModeChanged = false;

void RestoreConsole() {
    if (g_consoleCodePage != 0) SetConsoleOutputCP(g_consoleCodePage);
    if (g_errorModeChanged) SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), g_errorMode);
}

// Ctrl+C, Ctrl+Break or a closing console that nothing of the program's own handles ends the
// process at once, without the handlers of a normal exit: the console is put back here first.
BOOL WINAPI RestoreConsoleOnEvent(DWORD) {
    RestoreConsole();
    return FALSE;  // on to the next handler, in the end the system's own
}

bool WriteWhole(HANDLE h, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!WriteFile(h, bytes.data() + done, chunk, &put, nullptr) || put == 0) return false;
        done += put;
    }
    return true;
}

}  // namespace

std::optional<std::string> CurrentDirectory(Failure* failure) {
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(n, L'\0');
    const DWORD got = n == 0 ? 0 : GetCurrentDirectoryW(n, dir.data());
    if (got == 0 || got >= n) {
        if (failure) *failure = FailureOf({}, ErrorText(GetLastError()));
        return std::nullopt;
    }
    dir.resize(got);
    // The root of a drive is "C:\"; every other folder comes without its last backslash.
    if (dir.size() > 3 && dir.back() == L'\\') dir.pop_back();
    if (dir.size() == 3 && dir.back() == L'\\') dir.pop_back();
    return winapi::Narrow(dir);
}

bool IsAbsolutePath(const std::string& path) {
    if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
        (path[1] == '\\' || path[1] == '/'))
        return true;
    return path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

std::string ResolvePath(const std::string& folder, const std::string& path) {
    if (IsAbsolutePath(path)) return path;
    const bool rooted = !path.empty() && (path[0] == '\\' || path[0] == '/');
    const bool onDrive = path.size() >= 2 && path[1] == ':';
    if (!rooted && !onDrive) return folder + path;
    const std::wstring wide = WidePath(path);
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0) return path;  // let the open say what is wrong with it
        if (n < full.size()) {
            full.resize(n);
            return winapi::Narrow(full);
        }
        full.resize(n);
    }
}

AppendResult AppendLocked(const std::string& path, const std::string& bytes,
                          const std::function<bool(const LocalTime& lastWrite)>& emptyIf,
                          Failure* failure) {
    auto why = [&path, failure](const std::string& text) {
        if (failure) *failure = FailureOf(path, text);
    };
    // Others may read the log meanwhile; writing it needs the lock below.
    HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        why(ErrorText(GetLastError()));
        return AppendResult::kOpenFailed;
    }
    if (!IsDiskFile(h)) {
        CloseHandle(h);
        why("not a regular file");
        return AppendResult::kOpenFailed;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                    &whole)) {
        const DWORD err = GetLastError();
        CloseHandle(h);
        why(err == ERROR_LOCK_VIOLATION ? "another program holds the file" : ErrorText(err));
        return AppendResult::kOpenFailed;
    }
    FILETIME written{};
    if (!GetFileTime(h, nullptr, nullptr, &written)) {
        const DWORD err = GetLastError();
        CloseHandle(h);
        why(ErrorText(err));
        return AppendResult::kTimeFailed;
    }
    const bool emptyFirst = emptyIf(LocalTimeOfFile(written));
    LARGE_INTEGER zero{};
    bool ok = !emptyFirst || (SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) && SetEndOfFile(h));
    ok = ok && SetFilePointerEx(h, zero, nullptr, FILE_END);
    ok = ok && WriteWhole(h, bytes);
    DWORD err = ok ? 0 : GetLastError();
    UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &whole);
    if (!CloseHandle(h) && ok) {
        ok = false;
        err = GetLastError();
    }
    if (!ok) {
        why(ErrorText(err));
        return AppendResult::kWriteFailed;
    }
    return AppendResult::kDone;
}

FileFacts LookAtFile(const std::string& path) {
    FileFacts facts;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) return facts;
    facts.exists = true;
    facts.regular = !(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
    facts.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    facts.writable = !(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
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
    HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        why(ErrorText(err));
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? ReadResult::kMissing
                                                                          : ReadResult::kUnusable;
    }
    ReadResult result = ReadResult::kUnusable;
    LARGE_INTEGER size{};
    if (!IsDiskFile(h)) {
        why("not a regular file");
    } else if (!GetFileSizeEx(h, &size)) {
        why(ErrorText(GetLastError()));
    } else if (whole && static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        why("larger than " + std::to_string(maxBytes) + " bytes");
    } else {
        std::string text;
        std::vector<char> chunk(kReadChunk);
        text.reserve(std::min(static_cast<std::size_t>(size.QuadPart), maxBytes));
        for (;;) {
            const std::size_t wanted =
                whole ? chunk.size() : std::min(chunk.size(), maxBytes - text.size());
            DWORD n = 0;
            if (wanted > 0 && !ReadFile(h, chunk.data(), static_cast<DWORD>(wanted), &n, nullptr)) {
                why(ErrorText(GetLastError()));
                break;
            }
            if (n == 0) {
                *bytes = std::move(text);
                result = ReadResult::kRead;
                break;
            }
            text.append(chunk.data(), n);
            if (text.size() > maxBytes) {
                why("larger than " + std::to_string(maxBytes) + " bytes");
                break;
            }
        }
    }
    CloseHandle(h);
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

bool IsTerminal(int stream) {
    const DWORD which = stream == 0   ? STD_INPUT_HANDLE
                        : stream == 1 ? STD_OUTPUT_HANDLE
                                      : STD_ERROR_HANDLE;
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

void UseUtf8Console() {
    const UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) return;  // no console
    // Put back at exit, and by the first console handler, which runs last.
    if (g_consoleCodePage == 0) {
        std::atexit(RestoreConsole);
        SetConsoleCtrlHandler(RestoreConsoleOnEvent, TRUE);
    }
    g_consoleCodePage = codePage;
    SetConsoleOutputCP(CP_UTF8);
    // The progress line is rewritten in place with the terminal's escape sequences.
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(err, &mode)) {
        g_errorMode = mode;
        g_errorModeChanged = SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < n; ++i) args.push_back(winapi::Narrow(wide[i]));
    LocalFree(wide);
    return args;
}

bool WriteStandardOutput(const std::string& bytes) {
    // The bytes as they are: no line-end translation, whatever mode the C library keeps.
    return WriteWhole(GetStdHandle(STD_OUTPUT_HANDLE), bytes);
}

}  // namespace odomei
