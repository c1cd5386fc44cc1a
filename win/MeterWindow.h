// The Windows main window: template 102, the record list, read, save, clear, history and exit.
#pragma once

#include <windows.h>

#include <string>

namespace odomei::win32 {

// Creates the window, runs it until it ends and returns the process's exit status.
int RunMeterWindow(HINSTANCE instance);

// The history window over the logbook (modal over owner).
void ShowHistoryWindow(HINSTANCE instance, HWND owner, const std::string& logbookPath,
                       const std::string& iniPath);

}  // namespace odomei::win32
