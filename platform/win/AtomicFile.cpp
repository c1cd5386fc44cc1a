#include "platform/AtomicFile.h"

#include <io.h>
#include <windows.h>

#include <random>
#include <utility>

#include "platform/win/ReplaceCalls.h"
#include "platform/win/Wide.h"

namespace odomei {
namespace {

using winapi::ErrorText;
using winapi::ReplaceCalls;
using winapi::WidePath;

constexpr int kTemporaryAttempts = 100;

std::wstring Folder(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    return path.substr(0, slash);  // "C:" for the root: the name is added after a backslash
}

ReplaceCalls& Calls() {
    static ReplaceCalls calls = winapi::SystemReplaceCalls();
    return calls;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ".odomei-" and six random letters in the target's folder.
std::wstring Candidate(const std::wstring& folder) {
    static std::mt19937 random{std::random_device{}() ^ GetCurrentProcessId()};
    static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    std::wstring candidate = folder + L"\\.odomei-";
    for (int i = 0; i < 6; ++i) candidate += kLetters[random() % 36];
    return candidate;
}

// A name for the old file while the new one takes its place: one that no file has.
std::wstring BackupName(const std::wstring& folder) {
    std::wstring candidate = Candidate(folder);
    for (int attempt = 1; attempt < kTemporaryAttempts && Exists(candidate); ++attempt)
        candidate = Candidate(folder);
    return candidate;
}

// A temporary file in the target's folder, created, never an existing file.
HANDLE CreateTemporary(const std::wstring& folder, std::wstring* name) {
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        const std::wstring candidate = Candidate(folder);
        HANDLE h = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            *name = candidate;
            return h;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

bool WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const int n =
            _write(fd, content.data() + done,
                   static_cast<unsigned>(std::min<std::size_t>(content.size() - done, 1 << 20)));
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

ReplaceResult ReplaceFileAtomically(const std::string& pathUtf8, const std::string& content,
                                    Failure* failure) {
    const std::wstring path = WidePath(pathUtf8);
    auto said = [&pathUtf8, failure](const std::string& why) {
        if (failure) *failure = FailureOf(pathUtf8, why);
    };
    auto fail = [&said](const char* what, DWORD error) {
        said(std::string(what) + ": " + ErrorText(error));
        return false;
    };
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            said("not a regular file");
            return ReplaceResult::kCreateFailed;
        }
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            fail("read-only file", ERROR_ACCESS_DENIED);
            return ReplaceResult::kCreateFailed;
        }
    }
    std::wstring tmp;
    HANDLE h = CreateTemporary(Folder(path), &tmp);
    if (h == INVALID_HANDLE_VALUE) {
        fail("create", GetLastError());
        return ReplaceResult::kCreateFailed;
    }
    bool ok = true;
    for (std::size_t done = 0; ok && done < content.size();) {
        DWORD put = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
        ok = (WriteFile(h, content.data() + done, chunk, &put, nullptr) && put > 0) ||
             fail("write", GetLastError());
        done += put;
    }
    ok = ok && (FlushFileBuffers(h) || fail("flush", GetLastError()));
    if (!CloseHandle(h) && ok) ok = fail("close", GetLastError());
    if (!ok) {
        DeleteFileW(tmp.c_str());
        return ReplaceResult::kWriteFailed;
    }
    constexpr DWORD kMoveOver = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!exists) {
        if (Calls().move(tmp.c_str(), path.c_str(), kMoveOver)) return ReplaceResult::kDone;
        fail("rename", GetLastError());
        DeleteFileW(tmp.c_str());
        return ReplaceResult::kWriteFailed;
    }
    // ReplaceFileW keeps the old file's security, attributes and streams. The old file goes to
    // a backup name first: without one, a failure to move the new file in (1176) leaves no old
    // file at all.
    const std::wstring backup = BackupName(Folder(path));
    if (Calls().replace(path.c_str(), tmp.c_str(), backup.c_str())) {
        DeleteFileW(backup.c_str());
        return ReplaceResult::kDone;
    }
    const DWORD replaceError = GetLastError();
    // Where the call failed after moving the old file aside (1177, and 1176 on some systems),
    // it goes back first.
    if (!Exists(path) && Exists(backup)) Calls().move(backup.c_str(), path.c_str(), 0);
    // A filesystem that cannot replace takes a write-through move instead.
    if (Calls().move(tmp.c_str(), path.c_str(), kMoveOver)) {
        DeleteFileW(backup.c_str());
        return ReplaceResult::kDone;
    }
    const DWORD moveError = GetLastError();
    std::string why = "replace: " + ErrorText(replaceError) + "; rename: " + ErrorText(moveError);
    if (Exists(path)) {
        // The old file is in place; the new bytes are still the caller's.
        DeleteFileW(tmp.c_str());
        said(why);
        return ReplaceResult::kWriteFailed;
    }
    // Neither file could be put in place: both stay where they are, and the caller learns where.
    why += "; the new file is kept as " + winapi::Narrow(tmp);
    if (Exists(backup)) why += ", the old one as " + winapi::Narrow(backup);
    said(why);
    return ReplaceResult::kWriteFailed;
}

namespace winapi {

ReplaceCalls SystemReplaceCalls() {
    return {[](LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup) {
                return ReplaceFileW(replaced, replacement, backup, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                    nullptr, nullptr);
            },
            [](LPCWSTR from, LPCWSTR to, DWORD flags) { return MoveFileExW(from, to, flags); }};
}

ReplaceCalls SetReplaceCalls(ReplaceCalls calls) {
    return std::exchange(Calls(), std::move(calls));
}

}  // namespace winapi

}  // namespace odomei
