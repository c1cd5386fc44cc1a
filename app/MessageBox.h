// The one message box every part of the program uses, and its hook for tests.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QMessageBox;
class QWidget;

namespace odomei {

// Flags and answers, with the values the program's texts and tests refer to.
constexpr unsigned kMbOk = 0x00;
constexpr unsigned kMbOkCancel = 0x01;
constexpr unsigned kMbYesNoCancel = 0x03;
constexpr unsigned kMbYesNo = 0x04;
constexpr unsigned kMbIconHand = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconExclamation = 0x30;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbTypeMask = 0x0F;
constexpr unsigned kMbIconMask = 0xF0;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// The caption of every message box: the application's name.
inline constexpr const char* kAppTitle = "ODOMEI";

struct MessageBoxCall {
    std::string text;     // UTF-8
    unsigned flags = 0;   // as requested
    unsigned shown = 0;   // as shown: the exclamation icon added where no icon was asked for
    std::string detail;   // the expandable detail text; empty for none
    std::string caption;  // always kAppTitle
};

// The flags a box is shown with: OK, OK/Cancel, Yes/No and Yes/No/Cancel boxes without an icon
// get the exclamation icon.
unsigned ShownMessageBoxFlags(unsigned flags);

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
