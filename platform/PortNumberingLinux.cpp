// Linux numbers the serial ports itself: COMn is the n-th of the kernel's ports in order, and a
// [Ports] entry may name any device.
#include "platform/Files.h"
#include "platform/PortFacts.h"
#include "platform/PortNumbering.h"

namespace odomei {
namespace numbering {

const std::vector<std::string>& PortKinds() {
    static const std::vector<std::string> kinds{"ttyS", "ttyUSB", "ttyACM"};
    return kinds;
}

bool NumberedByPlace() { return true; }

std::optional<std::string> UnmappedDevice(int n, const std::vector<PortInfo>& ports) {
    if (n > static_cast<int>(ports.size())) return std::nullopt;
    return ports[static_cast<std::size_t>(n - 1)].device;
}

std::set<int> SystemNumbers(const std::vector<PortInfo>& ports) {
    std::set<int> numbers;
    for (int n = 1; n <= static_cast<int>(ports.size()); ++n) numbers.insert(n);
    return numbers;
}

bool SameDevice(const PortInfo& listed, const std::string& device) {
    return Canonical(listed.device) == Canonical(device);
}

bool Kept(const PortMapping&) { return true; }

Listed ListMapping(const PortMapping& m, const SurveyRoots& roots) {
    const std::string shown = ComName(m.number) + " = " + m.device;
    // The kernel's list holds serial lines; an entry may name anything, or nothing there.
    if (!m.fromIni) return {Listing::kPort, shown};
    if (!LookAtFile(m.device).exists) return {};
    if (NodeKindOf(m.device, roots) == NodeKind::kTerminal) {
        return {Listing::kPort, shown + " (from [Ports])"};
    }
    return {Listing::kNotSerial, shown};
}

}  // namespace numbering

PortNumberChoice FirstStartNumber(const PortInfo& port, std::size_t place,
                                  const std::string& byIdDir) {
    // Its place in the machine's order; the [Ports] entry keeps it there when other ports come.
    const std::string stable = StableNameOf(port.device, byIdDir);
    return {static_cast<int>(place) + 1, stable.empty() ? port.device : stable};
}

}  // namespace odomei
