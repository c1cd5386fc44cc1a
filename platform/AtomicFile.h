// Replacing a file whole: a temporary file beside it, flushed, then renamed over it.
#pragma once

#include <string>

namespace odomei {

enum class ReplaceResult {
    kDone,
    kCreateFailed,  // no temporary file could be made beside the target (folder not writable)
    kWriteFailed,   // writing, flushing, closing or renaming failed; the target is unchanged
};

// The target keeps its mode; a new file gets the usual mode for the umask. Nothing is left
// behind on failure, and reason (if given) receives what failed and why.
ReplaceResult ReplaceFileAtomically(const std::string& path, const std::string& content,
                                    std::string* reason = nullptr);

}  // namespace odomei
