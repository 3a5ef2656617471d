// The USB-binding seam: on Linux against sysfs fixtures laid out as the kernel lays out its USB
// drivers; on Windows it looks at nothing, whatever the root.
#include "platform/usb_bindings.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#ifndef _WIN32
#include <unistd.h>

#include "support/sysfs_fixture.h"
#endif

namespace zendor::platform {
namespace {

// "driver interface 'device'" for each binding, as a failure shows them.
std::vector<std::string> shown(const std::vector<UsbBinding>& bindings) {
    std::vector<std::string> lines;
    for (const UsbBinding& binding : bindings) {
        lines.push_back(binding.driver + " " + binding.usbInterface + " '" + binding.device + "'");
    }
    return lines;
}

constexpr std::array<std::string_view, 2> kDrivers{"pn533_usb", "port100"};

using Lines = std::vector<std::string>;

#ifdef _WIN32
// Wine would show Linux's /sys as it is.
TEST(UsbBindingsTest, WindowsLooksAtNothing) {
    EXPECT_EQ(shown(usbInterfacesBoundTo("/sys", kDrivers)), Lines{});
    EXPECT_EQ(shown(usbInterfacesBoundTo("C:\\", kDrivers)), Lines{});
}
#else

TEST(UsbBindingsTest, InterfacesBoundToEachDriverWithTheirDevice) {
    test::SysfsFixture sys;
    sys.bind("port100", "2-1", "054c", "06c3");
    sys.bind("pn533_usb", "3-1.4", "04e6", "5591");
    sys.bind("pn533_usb", "1-2", "072F", "2200");
    sys.bind("btusb", "1-3", "8087", "0a2b");
    const Lines expected{"pn533_usb 1-2:1.0 '072F:2200'", "pn533_usb 3-1.4:1.0 '04e6:5591'",
                         "port100 2-1:1.0 '054c:06c3'"};
    EXPECT_EQ(shown(usbInterfacesBoundTo(sys.root(), kDrivers)), expected);
}

TEST(UsbBindingsTest, ADeviceWhoseIdsCannotBeReadKeepsItsInterface) {
    test::SysfsFixture sys;
    sys.bind("pn533_usb", "1-2", "", "2200");
    sys.bind("pn533_usb", "1-3", "07", "2200");  // not four hex digits
    const Lines expected{"pn533_usb 1-2:1.0 ''", "pn533_usb 1-3:1.0 ''"};
    EXPECT_EQ(shown(usbInterfacesBoundTo(sys.root(), kDrivers)), expected);
}

TEST(UsbBindingsTest, NothingBoundNoSysfsOrAnUnreadableOneIsNothing) {
    test::SysfsFixture sys;
    sys.loadDriver("pn533_usb");  // the module is loaded: its folder and files, no interface
    EXPECT_TRUE(usbInterfacesBoundTo(sys.root(), kDrivers).empty());
    EXPECT_TRUE(usbInterfacesBoundTo(sys.root() + "/missing", kDrivers).empty());
    EXPECT_TRUE(usbInterfacesBoundTo("", kDrivers).empty());
    EXPECT_TRUE(usbInterfacesBoundTo(sys.root(), {}).empty());
    if (::geteuid() != 0) {  // root reads any folder
        sys.bind("pn533_usb", "1-2", "072f", "2200");
        const std::filesystem::path drivers = sys.root() + "/bus/usb/drivers/pn533_usb";
        std::filesystem::permissions(drivers, std::filesystem::perms::none);
        EXPECT_TRUE(usbInterfacesBoundTo(sys.root(), kDrivers).empty());
        std::filesystem::permissions(drivers, std::filesystem::perms::owner_all);
    }
}
#endif

}  // namespace
}  // namespace zendor::platform
