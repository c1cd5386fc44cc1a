// The one message box every part of the program uses, and its hook for tests.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/Texts.h"

class QMessageBox;
class QWidget;

namespace odomei {

struct MessageBoxCall {
    std::string text;     // UTF-8
    unsigned flags = 0;   // as requested
    unsigned shown = 0;   // as shown: the exclamation icon added where no icon was asked for
    std::string detail;   // the expandable detail text; empty for none
    std::string caption;  // always kAppTitle
};

// Shows a modal box over the program's window and returns the button pressed (kIdOk, kIdYes,
// kIdNo).
int AfxMessageBox(const std::string& text, unsigned flags = kMbOk, const std::string& detail = {});

// The box AfxMessageBox shows for a call, not yet shown (for tests of its look).
std::unique_ptr<QMessageBox> MakeMessageBox(const MessageBoxCall& call, QWidget* owner = nullptr);

// Tests replace the box: the hook receives every call and returns the answer.
using MessageBoxHook = std::function<int(const MessageBoxCall&)>;
// Returns the hook it replaces.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

}  // namespace odomei
