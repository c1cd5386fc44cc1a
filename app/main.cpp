// ODOMEI: reads the stored history of an in-vehicle fuel-economy meter over a serial line.
#include <QApplication>

#include "app/MeterApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    odomei::CMeterApp meterApp;
    meterApp.InitInstance();
    return 0;
}
