// odomei.exe: the Windows window of ODOMEI.
#include <windows.h>
// Common controls 6: the list view, the date pickers and the visual style of the buttons.
#include <commctrl.h>

#include "win/MeterWindow.h"

namespace {
constexpr int kInternalError = 1;
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
    // A fault inside ends the program with an exit status, never through the system's crash box.
    try {
        return odomei::winui::RunMeterWindow(instance);
    } catch (...) {
        return kInternalError;
    }
}
