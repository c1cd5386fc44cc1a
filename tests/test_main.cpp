// Runs every test inside one QApplication on the offscreen platform; no display is needed.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "platform/MessageBox.h"
#include "platform/SaveAs.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // A box or dialog that no test scripted would wait for a user who is not there.
    odomei::SetMessageBoxHook([](const odomei::MessageBoxCall& call) {
        ADD_FAILURE() << "unscripted message box: " << call.text;
        return odomei::IDNO;
    });
    odomei::SetSaveAsHook([](const odomei::SaveAsRequest&) {
        ADD_FAILURE() << "unscripted save-as dialog";
        return std::optional<odomei::SaveAsResult>{};
    });
    return RUN_ALL_TESTS();
}
