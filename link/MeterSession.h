// The meter as every front end uses it: a port opened with the meter's line settings and its
// control lines raised, the read-out exchange, the decoded reading, and the close.
#pragma once

#include <string>

#include "data/Decoder.h"
#include "data/TextsJa.h"
#include "link/PortSurvey.h"
#include "link/ReadExchange.h"
#include "link/SerialPort.h"
#include "log/CommLog.h"
#include "platform/PortMap.h"

namespace odomei {

// The meter's line: 19200 baud, 8 data bits, no parity, one stop bit.
constexpr int kLineBaud = 19200;
constexpr int kLineDataBits = 8;
constexpr int kLineParityNone = 0;
constexpr int kLineOneStopBit = 1;

// The log's first entry once the port is open.
inline constexpr const char* kStartBanner = "＊＊＊＊＊＊＊＊アプリケーション起動＊＊＊＊＊＊＊＊";

// The outcome of a read: the exchange's outcome and, for a verified block, its reading.
struct MeterRead {
    ExchangeOutcome outcome = ExchangeOutcome::kTimedOut;
    Failure failure;       // for a failure: what went wrong, in plain words (no subject)
    MeterReading reading;  // set when outcome is kBlockReceived
};

class MeterSession {
public:
    // Every byte exchanged goes to log, which must outlive the session.
    explicit MeterSession(const CommLog& log) : m_log(log) {}
    ~MeterSession() { Close(); }
    MeterSession(const MeterSession&) = delete;
    MeterSession& operator=(const MeterSession&) = delete;

    // Opens name ("COMn" as ports leads it, or a device path) with the meter's line settings,
    // raises RTS and then DTR and logs the start banner. False, with failure set, when it cannot
    // or must not: the system's console is never opened.
    bool Open(const std::string& name, const PortMap& ports, Failure* failure);
    // Where the check for the system's console looks (tests give trees of their own).
    void SetSurveyRoots(const SurveyRoots& roots) { m_roots = roots; }
    bool IsOpen() const { return m_port != nullptr; }
    SerialHandle Port() const { return m_port; }

    // Arms the port for a read (the character-received event mask).
    void PrepareRead();
    // Runs the exchange and, for a verified block, decodes it. A port known to be gone (an
    // adapter pulled out and perhaps plugged back) is closed and opened again first, once, with
    // the same name and settings; a working port is never reopened.
    MeterRead Read(const ExchangePause& pause, const ExchangeWatch& watch = {});

    // Drains, purges and closes the port (see CloseSerialPort); nothing when none is open.
    void Close();

private:
    bool OpenPort(Failure* failure);

    const CommLog& m_log;
    SerialHandle m_port = nullptr;
    std::string m_name;  // what was opened, for opening it again
    PortMap m_ports;
    SurveyRoots m_roots;
};

}  // namespace odomei
