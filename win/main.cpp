// odomei.exe: the Windows window of ODOMEI.
#include <windows.h>
// Common controls 6: the list view and the visual style of the buttons.
#include <commctrl.h>

#include "win/MeterWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    return odomei::win32::RunMeterWindow(instance);
}
