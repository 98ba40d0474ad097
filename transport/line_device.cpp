#include "line_device.h"

#include "network_line_device.h"
#include "serial_line_device.h"

std::unique_ptr<LineDevice> makeLineDevice(const QString &name, QString *why) {
    if (!isNetworkPortName(name)) {
        return std::make_unique<SerialLineDevice>(name);
    }
    const std::optional<NetworkPortName> address = parseNetworkPortName(name, why);
    if (!address) {
        return nullptr;
    }
    return std::make_unique<NetworkLineDevice>(name, *address);
}
