// Writing files whole: every byte or a failure, and replacing a file through a temporary file
// beside it, flushed, renamed over it, and the folder flushed too.
#pragma once

#include <string>

#include "platform/Failure.h"

namespace odomei {

enum class ReplaceResult {
    kDone,
    kCreateFailed,  // the file cannot be written (read-only, not a file) or no temporary file
                    // could be made beside it (folder not writable)
    kWriteFailed,   // writing, flushing, closing or renaming failed; the target is unchanged,
                    // but for one case on Windows: where the system took the old file away and
                    // it cannot be put back, neither file is deleted and the reason says where
                    // each is
};

// The target keeps its mode, owner and group where the system allows (a refusal is no failure:
// USB sticks and network shares often refuse); a new file gets the usual mode for the umask.
// Hard links, ACLs and extended attributes are not carried over. A target that is a symbolic
// link stays one: the file it names is written, even one that does not exist yet. A file without
// write permission is not replaced. Nothing is left behind on failure, and failure (if given)
// receives the path as its subject and what failed and why as its reason. Returns only once the
// new file and its folder entry are on disk.
ReplaceResult ReplaceFileAtomically(const std::string& path, const std::string& content,
                                    Failure* failure = nullptr);

// Writes all of content to fd, retrying short writes; false (errno set) when the rest cannot go.
bool WriteAll(int fd, const std::string& content);

}  // namespace odomei
