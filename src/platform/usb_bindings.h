// Which USB interfaces the running kernel has given to which driver: Linux shows it in sysfs
// (/sys/bus/usb/drivers/DRIVER/), and nothing else is asked. Windows has no such place to look:
// its backend finds nothing.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zendor::platform {

struct UsbBinding {
    std::string driver;
    std::string usbInterface;  // the kernel's name of the interface, for example "1-2:1.0"
    std::string device;        // "vendor:product" in four hex digits each; empty when unreadable
};

// The interfaces bound to each of the drivers, in the drivers' order and by interface name
// within each. sysRoot is where sysfs is mounted ("/sys"; a test gives a folder of its own). A
// sysfs that is missing or unreadable (a container) gives none and is no failure.
std::vector<UsbBinding> usbInterfacesBoundTo(const std::string& sysRoot,
                                             std::span<const std::string_view> drivers);

}  // namespace zendor::platform
