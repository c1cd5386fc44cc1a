// ODOMEI: reads the stored history of an in-vehicle fuel-economy meter over a serial line.
#include <QApplication>

#include <cstdio>
#include <exception>

#include "app/MeterApp.h"
#include "platform/Interrupt.h"

namespace {
constexpr int kInternalError = 1;
}  // namespace

int main(int argc, char** argv) {
    // From the start: a signal during the first INI write lets that write finish.
    odomei::CatchInterrupts();
    // Diagnostics into a closed pipe ("odomei 2>&1 | head") never end the window.
    odomei::IgnoreBrokenPipes();
    // A fault inside ends the program with a word on standard error, never with an abort.
    try {
        QApplication app(argc, argv);
        odomei::CMeterApp meterApp;
        meterApp.InitInstance();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "odomei: internal error: %s\n", e.what());
        return kInternalError;
    } catch (...) {
        std::fprintf(stderr, "odomei: internal error\n");
        return kInternalError;
    }
    return 0;
}
