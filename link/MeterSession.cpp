#include "link/MeterSession.h"

namespace odomei {

bool MeterSession::Open(const std::string& name, const PortMap& ports, Failure* failure) {
    Close();
    m_name = name;
    m_ports = ports;
    if (!OpenPort(failure)) return false;
    m_log.WriteCommLog(kStartBanner, 0, 't');
    return true;
}

bool MeterSession::OpenPort(Failure* failure) {
    // The name is looked up once, so the device checked is the device opened even where the
    // machine's list changes meanwhile (an adapter pulled out, another taking its number). An
    // opener set in the system's place opens no device and is given the name itself.
    std::string target = m_name;
    if (SystemSerialOpener()) {
        Failure why;
        const std::optional<std::string> device = m_ports.Target(m_name, &why);
        if (!device) {
            if (failure) *failure = why;
            return false;
        }
        // Bytes sent to the console reach its login prompt or its log: it is not even opened.
        if (const auto refusal = RefuseConsole(*device, m_roots)) {
            if (failure) *failure = FailureOf(*device, refusal->reason.en);
            return false;
        }
        target = *device;
    }
    if (OpenSerialPortByName(&m_port, target, kLineBaud, kLineDataBits, kLineParityNone,
                             kLineOneStopBit, 0, m_ports, failure) == 0) {
        return false;
    }
    // Both lines stay raised while the port is open; a pseudo-terminal has no modem lines.
    m_port->EscapeCommFunction(kSetRts);
    m_port->EscapeCommFunction(kSetDtr);
    return true;
}

void MeterSession::PrepareRead() {
    if (m_port != nullptr) m_port->SetCommMask(kEvRxChar);
}

MeterRead MeterSession::Read(const ExchangePause& pause, const ExchangeWatch& watch) {
    // The same port, opened again where the last one went away (or could not be opened again).
    std::string reopenFailure;
    if (!m_name.empty() && (m_port == nullptr || m_port->Gone())) {
        Close();
        Failure why;
        if (OpenPort(&why)) {
            PrepareRead();
        } else {
            reopenFailure = "the port went away and cannot be opened again: " + FailureLine(why);
        }
    }
    const ExchangeResult exchange = RunReadExchange(m_port, m_log, pause, watch);
    MeterRead result{exchange.outcome, FailureOf({}, exchange.reason), {}};
    if (!reopenFailure.empty()) result.failure = FailureOf({}, reopenFailure);
    if (exchange.outcome == ExchangeOutcome::kBlockReceived) {
        result.reading = DecodeReading(MeasurementBlock(exchange.block));
    }
    return result;
}

void MeterSession::Close() {
    if (m_port == nullptr) return;
    CloseSerialPort(m_port);
    m_port = nullptr;
}

}  // namespace odomei
