// The Windows main window: template 102, the record list, read, save, clear, history and exit.
#pragma once

#include <windows.h>

#include <string>

namespace odomei {
class Logbook;
}

namespace odomei::win32 {

// Creates the window, runs it until it ends and returns the process's exit status.
int RunMeterWindow(HINSTANCE instance);

// The history window over an open logbook (modal over owner); iniPath keeps its unit, directory
// is where an export starts.
void ShowHistoryWindow(HINSTANCE instance, HWND owner, const Logbook& logbook,
                       const std::string& iniPath, const std::string& directory);

}  // namespace odomei::win32
