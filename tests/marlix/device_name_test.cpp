#include "marlix/device_name.h"

#include <gtest/gtest.h>

namespace zendor::marlix {
namespace {

TEST(DeviceName, TellsVirtualCardsFromReaders) {
    using Kind = DeviceName::Kind;
    const struct {
        const char* text;
        Kind kind;
        const char* target;
    } cases[] = {
        {nullptr, Kind::PcscAnyReader, ""},
        {"pcsc:", Kind::PcscAnyReader, ""},
        {"sim:card.json", Kind::VirtualCard, "card.json"},
        {"sim:/tmp/a:b.json", Kind::VirtualCard, "/tmp/a:b.json"},
        {"pcsc:ACS ACR122U 00 00", Kind::PcscReader, "ACS ACR122U 00 00"},
        {"Virtual PCD 00 00", Kind::PcscReader, "Virtual PCD 00 00"},
        {"HID:Omnikey", Kind::PcscReader, "HID:Omnikey"},
        {"", Kind::PcscReader, ""},
    };
    for (const auto& c : cases) {
        std::optional<DeviceName> device = parseDeviceName(c.text);
        ASSERT_TRUE(device) << (c.text ? c.text : "(null)");
        EXPECT_EQ(device->kind, c.kind);
        EXPECT_EQ(device->target, c.target);
    }
}

TEST(DeviceName, RefusesUnknownSchemesWithOneLine) {
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(parseDeviceName("usb:1"));
    EXPECT_FALSE(parseDeviceName("sim:"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Unknown device type 'usb:' (use sim:FILE or pcsc:READER)\n"
              "Device 'sim:' needs the path of a card file\n");
}

}  // namespace
}  // namespace zendor::marlix
