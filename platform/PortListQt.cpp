// The machine's serial ports as Qt's QSerialPortInfo lists them (Linux).
#include <QSerialPortInfo>

#include "platform/PortNames.h"

namespace odomei {
namespace {

class QtPortLister final : public PortLister {
public:
    std::vector<PortInfo> SerialPorts() const override {
        std::vector<PortInfo> ports;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
            PortInfo p;
            p.device = info.systemLocation().toStdString();
            p.description = info.description().toStdString();
            p.manufacturer = info.manufacturer().toStdString();
            if (info.hasVendorIdentifier()) p.vendorId = info.vendorIdentifier();
            if (info.hasProductIdentifier()) p.productId = info.productIdentifier();
            p.serialNumber = info.serialNumber().toStdString();
            ports.push_back(std::move(p));
        }
        return ports;
    }
};

}  // namespace

std::unique_ptr<PortLister> SystemPortLister() { return std::make_unique<QtPortLister>(); }

}  // namespace odomei
