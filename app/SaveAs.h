// The one save-as dialog of the program, and its hook for tests.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ui/Notice.h"

namespace odomei {

// Runs the dialog modally; nothing when it was cancelled.
std::optional<SaveAsResult> ShowSaveAsDialog(const SaveAsRequest& request);

using SaveAsHook = std::function<std::optional<SaveAsResult>(const SaveAsRequest&)>;
// Returns the hook it replaces.
SaveAsHook SetSaveAsHook(SaveAsHook hook);

}  // namespace odomei
