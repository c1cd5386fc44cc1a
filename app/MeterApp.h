// The application object: names the program and runs the main window until it ends.
#pragma once

namespace odomei {

class CMeterApp {
public:
    // Runs the main window modally. Always false: the program ends when the window does.
    bool InitInstance();
};

}  // namespace odomei
