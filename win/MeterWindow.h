// The Windows main window: template 102, the record list, read, save, clear, history, the port
// chooser, the vehicles and exit.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace odomei {
class Logbook;
class MeterPresenter;
struct VehicleRequest;
}  // namespace odomei

namespace odomei::winui {

// Creates the window, runs it until it ends and returns the process's exit status.
int RunMeterWindow(HINSTANCE instance);

// The history window over an open logbook (modal over owner), showing vehicle first; iniPath
// keeps its unit, directory is where an export starts.
void ShowHistoryWindow(HINSTANCE instance, HWND owner, const Logbook& logbook,
                       const std::string& vehicle, const std::string& iniPath,
                       const std::string& directory);

// The vehicle dialog over owner, modal: the vehicle chosen, nothing when it was closed.
std::optional<std::string> ShowVehicleWindow(HINSTANCE instance, HWND owner,
                                             const VehicleRequest& request);

// The port chooser over owner, modal, for the main window's presenter; ending is the main
// window's: a search stops when the program ends.
void ShowPortChooser(HINSTANCE instance, HWND owner, MeterPresenter& meter, bool& ending);

}  // namespace odomei::winui
