// Runs every test inside one QApplication on the offscreen platform; no display is needed.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "app/MessageBox.h"
#include "app/SaveAs.h"
#include "tests/FakeSerial.h"
#include "tests/WindowSupport.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (const char* dir = std::getenv(odomei::test::kSecondInstanceEnv)) {
        return odomei::test::RunAsSecondInstance(dir);
    }
    ::testing::InitGoogleTest(&argc, argv);
    // A box or dialog that no test scripted would wait for a user who is not there.
    odomei::SetMessageBoxHook([](const odomei::MessageBoxCall& call) {
        ADD_FAILURE() << "unscripted message box: " << call.text;
        return odomei::kIdNo;
    });
    odomei::SetSaveAsHook([](const odomei::SaveAsRequest&) {
        ADD_FAILURE() << "unscripted save-as dialog";
        return std::optional<odomei::SaveAsResult>{};
    });
    // Windows open a scripted line that works, so no test touches the machine's real ports;
    // the tests on a pseudo-terminal choose the real devices themselves.
    odomei::SetSerialOpener([](const std::string&, bool, odomei::Failure*) {
        return std::make_unique<odomei::test::FakeSerialDevice>(
            std::make_shared<odomei::test::FakeLine>());
    });
    return RUN_ALL_TESTS();
}
