// A seam in the Windows serial device for the tests: the ports open now behave as an adapter
// pulled out does, failing every call with the error code its driver reports.
#pragma once

#include <windows.h>

namespace odomei::winapi {

// From now on every call on a port open now fails with error (0: they work again). Ports opened
// afterwards are not affected, as a replugged adapter is a new device.
void UnplugOpenPorts(DWORD error);

}  // namespace odomei::winapi
