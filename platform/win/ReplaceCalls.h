// The two system calls that put a saved file in place, replaceable so that the tests can play
// the failures Windows reports (a virus scanner holding the new file, a share that cannot replace).
#pragma once

#include <windows.h>

#include <functional>

namespace odomei::winapi {

struct ReplaceCalls {
    // As ReplaceFileW(replaced, replacement, backup, REPLACEFILE_IGNORE_MERGE_ERRORS).
    std::function<BOOL(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup)> replace;
    // As MoveFileExW(from, to, flags).
    std::function<BOOL(LPCWSTR from, LPCWSTR to, DWORD flags)> move;
};

// The system's own calls.
ReplaceCalls SystemReplaceCalls();
// Sets the calls the file replacement uses and returns the ones it used before.
ReplaceCalls SetReplaceCalls(ReplaceCalls calls);

}  // namespace odomei::winapi
