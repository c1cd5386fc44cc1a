// The serial ports Windows knows: the registry's list of COM names, with the friendly names,
// manufacturers and USB ids that Device Manager shows where the system has them, and whether each
// is on USB.
#include "platform/PortMap.h"
#include "platform/win/PortFacts.h"

namespace odomei {
namespace {

class RegistryPortLister final : public PortLister {
public:
    std::vector<PortInfo> SerialPorts() const override {
        std::vector<PortInfo> ports;
        for (winapi::ComPortFact& f : winapi::ComPortFacts()) {
            if (f.number == 0) continue;
            f.info.usb = f.usb;
            ports.push_back(std::move(f.info));
        }
        return ports;
    }
};

}  // namespace

std::unique_ptr<PortLister> SystemPortLister(const std::string&, const std::string&) {
    return std::make_unique<RegistryPortLister>();
}

}  // namespace odomei
