// The one message box every part of the program uses, and its hook for tests.
#pragma once

#include <functional>
#include <string>

namespace odomei {

// Flags and answers, with the values the program's texts and tests refer to.
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_OKCANCEL = 0x01;
constexpr unsigned MB_YESNOCANCEL = 0x03;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONHAND = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_TYPEMASK = 0x0F;
constexpr unsigned MB_ICONMASK = 0xF0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

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

// Shows a modal box over the program's window and returns the button pressed (IDOK, IDYES, IDNO).
int AfxMessageBox(const std::string& text, unsigned flags = MB_OK, const std::string& detail = {});

// Tests replace the box: the hook receives every call and returns the answer.
using MessageBoxHook = std::function<int(const MessageBoxCall&)>;
// Returns the hook it replaces.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

}  // namespace odomei
