// ODOMEI: reads the stored history of an in-vehicle fuel-economy meter over a serial line.
#include <QApplication>

#include "app/MeterApp.h"
#include "platform/Interrupt.h"

int main(int argc, char** argv) {
    // From the start: a signal during the first INI write lets that write finish.
    odomei::CatchInterrupts();
    QApplication app(argc, argv);
    odomei::CMeterApp meterApp;
    meterApp.InitInstance();
    return 0;
}
