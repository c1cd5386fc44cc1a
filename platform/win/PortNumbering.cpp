// Windows names the serial ports itself: COMn is the system's own \\.\COMn, and the numbers need
// not follow each other.
#include "platform/PortNumbering.h"

namespace odomei {
namespace numbering {
namespace {

std::string SystemName(const std::string& com) { return "\\\\.\\" + com; }

}  // namespace

const std::vector<std::string>& PortKinds() {
    static const std::vector<std::string> kinds{"COM"};
    return kinds;
}

bool NumberedByPlace() { return false; }

std::optional<std::string> UnmappedDevice(int n, const std::vector<PortInfo>&) {
    return SystemName(ComName(n));  // any COM port the system has
}

std::set<int> SystemNumbers(const std::vector<PortInfo>& ports) {
    std::set<int> numbers;
    for (const PortInfo& p : ports) {
        if (const auto n = ComNumber(p.device)) numbers.insert(*n);
    }
    return numbers;
}

bool SameDevice(const PortInfo& listed, const std::string& device) {
    return SystemName(listed.device) == device;
}

bool Kept(const PortMapping& m) { return m.listed || m.fromIni; }  // a number the system has

Listed ListMapping(const PortMapping& m, const SurveyRoots&) {
    if (m.fromIni)
        return {Listing::kPort, ComName(m.number) + " = " + m.device + " (from [Ports])"};
    return {Listing::kPort, m.info.device + " (" + m.info.description + ")"};
}

}  // namespace numbering

PortNumberChoice FirstStartNumber(const PortInfo& port, std::size_t, const std::string&) {
    return {ComNumber(port.device).value_or(0), {}};  // the port's own number, and no entry
}

}  // namespace odomei
