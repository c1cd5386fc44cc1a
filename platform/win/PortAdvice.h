// Device Manager's problem codes and the COM port list in words, for the port survey's reasons
// (platform/PortAdvice.h) and the Windows tests.
#pragma once

#include <string>
#include <vector>

#include "platform/win/PortFacts.h"

namespace odomei::winapi {

// Device Manager's problem code in words: English and the windows' Japanese.
std::string ProblemText(unsigned long code);
std::string ProblemTextJa(unsigned long code);

// "COM1 (通信ポート (COM1)), COM3 (USB Serial Port (COM3))": the ports there are, for a message
// about one that is not; "" when there are none.
std::string ListPorts(const std::vector<ComPortFact>& ports);

}  // namespace odomei::winapi
