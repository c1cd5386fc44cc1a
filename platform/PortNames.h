// Where the port names "COM1" to "COM9" lead on Linux.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace odomei {

// The INI file whose section [Ports] may map names to devices (COM1=/dev/ttyUSB0).
void SetPortSettingsFile(std::string iniPath);

// The real serial ports of the machine in the order that numbers them: hardware UARTs (ttyS*),
// then USB adapters (ttyUSB*), then USB modems (ttyACM*), each in numeric order.
std::vector<std::string> ListSerialDevices();

// The device for "COMn": the [Ports] entry if there is one, else the n-th real serial port.
std::optional<std::string> DeviceForPortName(const std::string& name);

// "COM1 = /dev/ttyUSB0, COM2 = ..." or a sentence saying there are none, for messages.
std::string DescribeSerialPorts();

}  // namespace odomei
