// The serial port driver: opens a COM port by number, configures it completely, moves bytes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/PortMap.h"
#include "platform/SerialDevice.h"

namespace odomei {

using SerialHandle = SerialDevice*;  // null: no port

// Result codes of ReadSerial and WriteSerial.
constexpr int kSerialOk = 0;
constexpr int kSerialNoPort = 1;
constexpr int kSerialIoFailure = 2;

// The highest port number there is: Windows numbers COM ports up to 255.
constexpr int kMaxPortNumber = 255;

// The COM number a port setting leads to: 1 to 255 as they are, anything else (0, a negative
// number, one beyond 255, a setting that was no number at all) 1.
int PortNumber(int setting);

// "COM1" to "COM255" for port 1 to 255, "COM1" for anything else: ComName(PortNumber(port)).
std::string PortName(int port);

// Port 1 to 255 opens "COM1" to "COM255", anything else "COM1", as the map leads them. Baud rates
// other than the nine accepted ones give 9600; data bits other than 7 give 8; parity 1 is even,
// 2 odd, else none; stop bits 2 give two, else one. Returns 1 with *slot holding the open port,
// or 0 with *slot null and failure (if given) saying why. Overlapped I/O is not available on
// this platform (see ReadSerial).
int OpenSerialPort(SerialHandle* slot, int port, int baud, int dataBits, int parity, int stopBits,
                   int overlapped, const PortMap& ports = {}, Failure* failure = nullptr);

// The same for a port given by name: "COMn" (any n) or a device path.
int OpenSerialPortByName(SerialHandle* slot, const std::string& name, int baud, int dataBits,
                         int parity, int stopBits, int overlapped, const PortMap& ports,
                         Failure* failure);

// Lets the output drain (a bounded wait), purges the input queue, and closes the port. The output
// queue is purged only when it could not drain. The caller's slot is not changed.
void CloseSerialPort(SerialHandle handle);

// Reads exactly n bytes into dest (which must hold n + 1: a zero byte follows them) in chunks of
// at most 1024. 0 done, 1 no port, 2 failure or a chunk cut short by the time-out.
int ReadSerial(SerialHandle handle, std::uint8_t* dest, int n, int overlapped);

// Writes n bytes in chunks of at most 512 and returns once they have left the output queue.
// 0 done, 1 no port, 2 failure, a device that has gone, or a line that never drains.
int WriteSerial(SerialHandle handle, const std::uint8_t* source, int n, int overlapped);

}  // namespace odomei
