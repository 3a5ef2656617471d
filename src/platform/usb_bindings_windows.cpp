// Windows backend of the USB-binding seam: no sysfs, and a reader's driver is no PC/SC
// service's rival there, so nothing is looked at.
#include "platform/usb_bindings.h"

namespace zendor::platform {

std::vector<UsbBinding> usbInterfacesBoundTo(const std::string& /*sysRoot*/,
                                             std::span<const std::string_view> /*drivers*/) {
    return {};
}

}  // namespace zendor::platform
