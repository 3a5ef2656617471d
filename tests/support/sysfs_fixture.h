// A folder laid out as Linux's sysfs lays out USB drivers and devices, for the seam that reads it
// (platform/usb_bindings.h): devices/usbN/PORT/ with idVendor and idProduct, and for each bound
// interface a relative link bus/usb/drivers/DRIVER/PORT:1.0 to the interface's folder. POSIX only
// (links, and ':' in names).
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace zendor::test {

class SysfsFixture {
  public:
    // The folder to give as sysfs' root.
    std::string root() const { return dir_.path().string(); }

    // A driver's folder as the kernel makes it when its module is loaded, with no interface yet.
    void loadDriver(const std::string& driver) {
        const auto folder = driverFolder(driver);
        std::filesystem::create_directories(folder);
        for (const char* file : {"bind", "unbind", "new_id", "remove_id", "uevent"}) {
            std::ofstream(folder / file);
        }
        std::filesystem::create_directories(dir_.path() / "module" / driver);
        std::filesystem::create_directory_symlink("../../../../module/" + driver,
                                                  folder / "module");
    }

    // A USB device at port (for example "1-2") whose interface 1.0 the driver holds; an empty
    // vendor leaves out idVendor.
    void bind(const std::string& driver, const std::string& port, const std::string& vendor,
              const std::string& product) {
        const auto device = dir_.path() / "devices" / "usb1" / port;
        std::filesystem::create_directories(device / (port + ":1.0"));
        if (!vendor.empty()) {
            std::ofstream(device / "idVendor") << vendor << "\n";
        }
        std::ofstream(device / "idProduct") << product << "\n";
        if (!std::filesystem::exists(driverFolder(driver))) {
            loadDriver(driver);
        }
        std::filesystem::create_directory_symlink(
            "../../../../devices/usb1/" + port + "/" + port + ":1.0",
            driverFolder(driver) / (port + ":1.0"));
    }

  private:
    std::filesystem::path driverFolder(const std::string& driver) const {
        return dir_.path() / "bus" / "usb" / "drivers" / driver;
    }

    TempDir dir_;
};

}  // namespace zendor::test
