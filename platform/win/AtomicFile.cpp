#include "platform/AtomicFile.h"

#include <io.h>
#include <windows.h>

#include <random>

#include "platform/win/Wide.h"

namespace odomei {
namespace {

using win::ErrorText;
using win::WidePath;

constexpr int kTemporaryAttempts = 100;

std::wstring Folder(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    return path.substr(0, slash);  // "C:" for the root: the name is added after a backslash
}

// ".odomei-" and six random letters in the target's folder, created, never an existing file.
HANDLE CreateTemporary(const std::wstring& folder, std::wstring* name) {
    static std::mt19937 random{std::random_device{}() ^ GetCurrentProcessId()};
    static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        std::wstring candidate = folder + L"\\.odomei-";
        for (int i = 0; i < 6; ++i) candidate += kLetters[random() % 36];
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
                                    std::string* reason) {
    const std::wstring path = WidePath(pathUtf8);
    auto fail = [reason](const char* what, DWORD error) {
        if (reason) *reason = std::string(what) + ": " + ErrorText(error);
        return false;
    };
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (reason) *reason = "not a regular file";
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
    // ReplaceFileW keeps the old file's security, attributes and streams; a first save, or a
    // filesystem that cannot replace, takes a write-through move instead.
    if (ok && !(exists && ReplaceFileW(path.c_str(), tmp.c_str(), nullptr,
                                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))) {
        ok = MoveFileExW(tmp.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
             fail("rename", GetLastError());
    }
    if (!ok) {
        DeleteFileW(tmp.c_str());
        return ReplaceResult::kWriteFailed;
    }
    return ReplaceResult::kDone;
}

}  // namespace odomei
