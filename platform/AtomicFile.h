// Writing files whole: every byte or a failure, and replacing a file through a temporary file
// beside it, flushed, then renamed over it.
#pragma once

#include <string>

namespace odomei {

enum class ReplaceResult {
    kDone,
    kCreateFailed,  // no temporary file could be made beside the target (folder not writable)
    kWriteFailed,   // writing, flushing, closing or renaming failed; the target is unchanged
};

// The target keeps its mode; a new file gets the usual mode for the umask. A target that is a
// symbolic link stays one: the file it points to is replaced. Nothing is left behind on failure,
// and reason (if given) receives what failed and why.
ReplaceResult ReplaceFileAtomically(const std::string& path, const std::string& content,
                                    std::string* reason = nullptr);

// Writes all of content to fd, retrying short writes; false (errno set) when the rest cannot go.
bool WriteAll(int fd, const std::string& content);

}  // namespace odomei
