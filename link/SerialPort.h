// The serial port driver: opens a COM port by number, configures it completely, moves bytes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SerialLine.h"

namespace odomei {

using SerialHandle = SerialDevice*;  // null: no port

// The one process-wide port handle slot.
SerialHandle& PortHandleSlot();

// Result codes of ReadSerial and WriteSerial.
constexpr int kSerialOk = 0;
constexpr int kSerialNoPort = 1;
constexpr int kSerialIoFailure = 2;

// Port 1 to 9 opens "COM1" to "COM9", anything else "COM1". Baud rates other than the nine
// accepted ones give 9600; data bits other than 7 give 8; parity 1 is even, 2 odd, else none;
// stop bits 2 give two, else one. Returns 1 with *slot holding the open port, or 0 with *slot
// null. Overlapped I/O is not available on this platform (see ReadSerial).
int OpenSerialPort(SerialHandle* slot, int port, int baud, int dataBits, int parity, int stopBits,
                   int overlapped);

// Purges both queues and closes the port. The caller's slot is not changed.
void CloseSerialPort(SerialHandle handle);

// Reads exactly n bytes into dest (which must hold n + 1: a zero byte follows them) in chunks of
// at most 1024. 0 done, 1 no port, 2 failure or a chunk cut short by the time-out.
int ReadSerial(SerialHandle handle, std::uint8_t* dest, int n, int overlapped);

// Writes n bytes in chunks of at most 512 and returns once they have left the output queue.
// 0 done, 1 no port, 2 failure, a device that has gone, or a line that never drains.
int WriteSerial(SerialHandle handle, const std::uint8_t* source, int n, int overlapped);

// Why the last OpenSerialPort failed: the device tried and the reason, for the user.
const OpenFailure& LastOpenFailure();

}  // namespace odomei
