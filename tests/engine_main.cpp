// Runs the engine's tests. No test may reach the machine's real ports: unless a test chooses
// the real devices itself (on a pseudo-terminal), every open gets a scripted line.
#include <gtest/gtest.h>

#include "tests/FakeSerial.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    odomei::SetSerialOpener([](const std::string&, bool, odomei::Failure*) {
        return std::make_unique<odomei::test::FakeSerialDevice>(
            std::make_shared<odomei::test::FakeLine>());
    });
    return RUN_ALL_TESTS();
}
