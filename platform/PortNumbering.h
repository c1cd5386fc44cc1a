// How the system numbers its serial ports, for PortMap: which names are ports and in what order,
// what COMn leads to without a [Ports] entry, which numbers there are, and how a mapping is
// listed. One file per system behind these (PortNumberingLinux.cpp, win/PortNumbering.cpp).
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/PortMap.h"

namespace odomei::numbering {

// The kinds of name a serial port has, in the order that numbers them.
const std::vector<std::string>& PortKinds();

// Whether COMn without a [Ports] entry is the n-th of the machine's ports, so that finding it
// needs the machine's list (else the system names the port itself).
bool NumberedByPlace();

// What COMn opens where no [Ports] entry names it; ports is the machine's list in its order.
// Nothing where the machine has no such port.
std::optional<std::string> UnmappedDevice(int n, const std::vector<PortInfo>& ports);

// The numbers the machine's ports take.
std::set<int> SystemNumbers(const std::vector<PortInfo>& ports);

// Whether listed is the port that opening device opens.
bool SameDevice(const PortInfo& listed, const std::string& device);

// Whether a mapping is one the machine has, to be listed at all.
bool Kept(const PortMapping& m);

// Where Describe lists a mapping that leads to a device other than the console.
enum class Listing {
    kPort,       // among the serial ports found
    kNotSerial,  // among what is named but is no serial port
    kLeftOut,    // not at all
};
struct Listed {
    Listing where = Listing::kLeftOut;
    std::string text;
};
Listed ListMapping(const PortMapping& m, const SurveyRoots& roots);

// The path a device resolves to through links, or path itself where it cannot be resolved.
std::string Canonical(const std::string& path);

}  // namespace odomei::numbering
