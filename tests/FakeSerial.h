// A scripted serial device: records every call, answers from a script, fails where told.
#pragma once

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"

namespace odomei::test {

// What the test sets up and reads back; shared with the device, which the driver owns.
struct FakeLine {
    std::vector<std::string> calls;  // "ReadFile(1024)", "PurgeComm(8)", ...
    std::set<std::string> failing;   // names of calls that fail: "SetCommState", ...
    CommProp prop = FullCapabilities();
    std::uint16_t neededPropSize = 80;  // what the first GetCommProperties reports
    DCB state = InitialState();         // what GetCommState returns; SetCommState stores here
    CommTimeouts timeouts;
    std::deque<std::uint8_t> incoming;              // bytes ReadFile delivers
    std::deque<std::vector<std::uint8_t>> answers;  // each STX written makes the next arrive
    std::vector<std::uint8_t> written;              // bytes WriteFile took
    std::deque<std::uint32_t> pieces;  // cbInQue tells the next piece of incoming, not all of
                                       // it; a successful read takes the piece
    int statusFailsAfterReads = -1;    // ClearCommError fails once this many reads were made
    std::uint32_t outQueue = 0;        // cbOutQue reported: never 0 means a line that never drains
    std::uint32_t writeAccepts = UINT32_MAX;  // WriteFile takes at most this many bytes
    std::set<int> failingReads;               // indices of ReadFile calls that fail
    std::set<int> failingWrites;              // indices of WriteFile calls that fail
    int reads = 0;
    int writes = 0;
    int statusFailsAfter = -1;  // ClearCommError fails from its Nth call on
    int statusCalls = 0;
    bool closed = false;
    bool gone = false;  // what the device says of itself: gone for good

    static CommProp FullCapabilities() {
        CommProp p;
        p.dwProvCapabilities = kPcfTotalTimeouts | kPcfIntTimeouts;
        p.dwSettableParams = kSpParity | kSpBaud | kSpDataBits | kSpStopBits | kSpHandshaking |
                             kSpParityCheck | kSpRlsd;
        p.dwSettableBaud = kBaud4800 | kBaud9600 | kBaud19200;
        p.wSettableData = kDataBits7 | kDataBits8;
        return p;
    }
    static DCB InitialState() {
        DCB d;
        d.BaudRate = 9600;
        d.flags = 0xFFFFFFFF;
        d.ByteSize = 5;
        d.EofChar = 0x1A;
        d.XonChar = 0x55;
        d.wReserved = 7;
        return d;
    }
    std::size_t Count(const std::string& prefix) const {
        std::size_t n = 0;
        for (const auto& c : calls) n += c.rfind(prefix, 0) == 0;
        return n;
    }
    // The calls that start with one of the given names, in order.
    std::vector<std::string> Only(std::initializer_list<const char*> names) const {
        std::vector<std::string> out;
        for (const auto& c : calls) {
            for (const char* n : names) {
                if (c.rfind(n, 0) == 0) out.push_back(c);
            }
        }
        return out;
    }
};

class FakeSerialDevice final : public SerialDevice {
public:
    explicit FakeSerialDevice(std::shared_ptr<FakeLine> line) : m_line(std::move(line)) {}
    ~FakeSerialDevice() override {
        m_line->calls.push_back("CloseHandle");
        m_line->closed = true;
    }
    bool SetupComm(std::uint32_t in, std::uint32_t out) override {
        return Call("SetupComm(" + std::to_string(in) + "," + std::to_string(out) + ")");
    }
    bool GetCommProperties(CommProp& prop) override {
        const std::uint16_t room = prop.wPacketLength;
        const bool ok = Call("GetCommProperties(" + std::to_string(room) + ")");
        prop = m_line->prop;
        prop.wPacketLength = m_line->neededPropSize;
        if (room < m_line->neededPropSize) {
            prop.dwProvCapabilities = prop.dwSettableParams = 0;  // only the size is told
        }
        return ok;
    }
    bool GetCommState(DCB& dcb) override {
        dcb = m_line->state;
        return Call("GetCommState");
    }
    bool SetCommState(const DCB& dcb) override {
        if (!Call("SetCommState")) return false;
        m_line->state = dcb;
        return true;
    }
    bool GetCommTimeouts(CommTimeouts& t) override {
        t = m_line->timeouts;
        return Call("GetCommTimeouts");
    }
    bool SetCommTimeouts(const CommTimeouts& t) override {
        if (!Call("SetCommTimeouts")) return false;
        m_line->timeouts = t;
        return true;
    }
    bool PurgeComm(std::uint32_t flags) override {
        if (flags & kPurgeRxClear) m_line->incoming.clear();
        return Call("PurgeComm(" + std::to_string(flags) + ")");
    }
    bool ClearCommError(std::uint32_t* errors, ComStat* stat) override {
        if (errors) *errors = 0;
        const int n = m_line->statusCalls++;
        if (!Call("ClearCommError")) return false;
        if (m_line->statusFailsAfter >= 0 && n >= m_line->statusFailsAfter) return false;
        ComStat s;
        s.cbOutQue = m_line->outQueue;
        if (m_line->statusFailsAfterReads >= 0 && m_line->reads >= m_line->statusFailsAfterReads) {
            return false;
        }
        s.cbInQue = static_cast<std::uint32_t>(m_line->incoming.size());
        if (!m_line->pieces.empty()) s.cbInQue = std::min(s.cbInQue, m_line->pieces.front());
        if (stat) *stat = s;
        return true;
    }
    bool SetCommMask(std::uint32_t mask) override {
        return Call("SetCommMask(" + std::to_string(mask) + ")");
    }
    bool EscapeCommFunction(std::uint32_t f) override {
        return Call("EscapeCommFunction(" + std::to_string(f) + ")");
    }
    bool ReadFile(std::uint8_t* buf, std::uint32_t n, std::uint32_t* done) override {
        *done = 0;
        if (!Call("ReadFile(" + std::to_string(n) + ")")) return false;
        if (m_line->failingReads.count(m_line->reads++)) return false;
        if (!m_line->pieces.empty()) m_line->pieces.pop_front();
        while (*done < n && !m_line->incoming.empty()) {
            buf[(*done)++] = m_line->incoming.front();
            m_line->incoming.pop_front();
        }
        return true;
    }
    bool WriteFile(const std::uint8_t* buf, std::uint32_t n, std::uint32_t* done) override {
        *done = 0;
        if (!Call("WriteFile(" + std::to_string(n) + ")")) return false;
        if (m_line->failingWrites.count(m_line->writes++)) return false;
        *done = std::min(n, m_line->writeAccepts);
        m_line->written.insert(m_line->written.end(), buf, buf + *done);
        if (*done > 0 && buf[0] == 0x02 && !m_line->answers.empty()) {
            const auto& answer = m_line->answers.front();
            m_line->incoming.insert(m_line->incoming.end(), answer.begin(), answer.end());
            m_line->answers.pop_front();
        }
        return true;
    }
    bool FlushFileBuffers() override { return Call("FlushFileBuffers"); }
    bool WaitForInput(int) override { return !m_line->incoming.empty(); }
    std::string LastError() const override { return "fake: failed as told"; }
    bool Gone() const override { return m_line->gone; }

private:
    bool Call(const std::string& call) {
        m_line->calls.push_back(call);
        const std::string name = call.substr(0, call.find('('));
        return m_line->failing.count(name) == 0 && m_line->failing.count(call) == 0;
    }
    std::shared_ptr<FakeLine> m_line;
};

// Makes every open in scope give a fake device on this line (or fail, if "CreateFile" is in its
// failing set), remembering the names asked for.
class FakeOpener {
public:
    explicit FakeOpener(std::shared_ptr<FakeLine> line) : m_line(std::move(line)) {
        m_previous = SetSerialOpener([this](const std::string& name, bool,
                                            Failure* failure) -> std::unique_ptr<SerialDevice> {
            names.push_back(name);
            if (m_line->failing.count("CreateFile")) {
                if (failure) *failure = FailureOf("/dev/fake-" + name, "no such device");
                return nullptr;
            }
            return std::make_unique<FakeSerialDevice>(m_line);
        });
    }
    ~FakeOpener() { SetSerialOpener(std::move(m_previous)); }
    std::vector<std::string> names;

private:
    std::shared_ptr<FakeLine> m_line;
    SerialOpener m_previous;
};

// The real termios devices for the length of a scope (the tests' default is a scripted line).
class RealSerialOpener {
public:
    RealSerialOpener() : m_previous(SetSerialOpener({})) {}
    ~RealSerialOpener() { SetSerialOpener(std::move(m_previous)); }

private:
    SerialOpener m_previous;
};

}  // namespace odomei::test
