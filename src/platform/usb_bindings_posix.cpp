// POSIX backend of the USB-binding seam: sysfs as Linux lays it out. A driver's folder holds a
// link per interface bound to it (named like "1-2:1.0") beside its own files (bind, unbind,
// module, uevent, ...); the link leads to the interface's folder, whose parent is the USB device
// with its idVendor and idProduct. Elsewhere the folders are not there and nothing is found.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>

#include "platform/usb_bindings.h"

namespace zendor::platform {
namespace {

// An interface's name: bus-port path, a colon, configuration.interface ("3-1.4:1.0").
bool isInterfaceName(std::string_view name) {
    return !name.empty() && std::isdigit(static_cast<unsigned char>(name[0])) != 0 &&
           name.find(':') != std::string_view::npos;
}

std::vector<std::string> interfacesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (isInterfaceName(entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The four hex digits of an idVendor or idProduct file; empty when it cannot be read or holds
// anything else.
std::string usbId(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::array<char, 8> buffer{};
    const ssize_t count = ::read(fd, buffer.data(), buffer.size());
    ::close(fd);
    if (count < 4 || (count > 4 && buffer[4] != '\n')) {
        return {};
    }
    std::string id(buffer.data(), 4);
    const bool hex =
        std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
    return hex ? id : std::string();
}

}  // namespace

std::vector<UsbBinding> usbInterfacesBoundTo(const std::string& sysRoot,
                                             std::span<const std::string_view> drivers) {
    std::vector<UsbBinding> bindings;
    for (std::string_view driver : drivers) {
        const std::string folder = sysRoot + "/bus/usb/drivers/" + std::string(driver);
        for (std::string& usbInterface : interfacesIn(folder)) {
            // ".." after the link is the device's folder: the kernel follows the link first.
            const std::string device = folder + "/" + usbInterface + "/../";
            const std::string vendor = usbId(device + "idVendor");
            const std::string product = usbId(device + "idProduct");
            bindings.push_back({std::string(driver), std::move(usbInterface),
                                vendor.empty() || product.empty() ? "" : vendor + ":" + product});
        }
    }
    return bindings;
}

}  // namespace zendor::platform
