// The one save-as dialog of the program, and its hook for tests.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace odomei {

struct SaveAsRequest {
    std::string initialName;       // shown in the name field, e.g. "*.csv"
    std::string typeDescription;   // e.g. "CSV(ｶﾝﾏ区切り)"
    std::string typePattern;       // e.g. "*.csv"
    std::string directory;         // where the dialog starts
    bool confirmOverwrite = true;  // ask before an existing file is chosen
};

struct SaveAsResult {
    std::string path;      // full path chosen
    std::string fileName;  // bare file name
};

// Runs the dialog modally; nothing when it was cancelled.
std::optional<SaveAsResult> ShowSaveAsDialog(const SaveAsRequest& request);

using SaveAsHook = std::function<std::optional<SaveAsResult>(const SaveAsRequest&)>;
// Returns the hook it replaces.
SaveAsHook SetSaveAsHook(SaveAsHook hook);

}  // namespace odomei
