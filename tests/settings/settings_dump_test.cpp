// The settings dump: present slots in ascending tag order, nothing else.
#include "settings/settings_dump.h"

#include <gtest/gtest.h>

#include "settings/table_text.h"

namespace zendor::settings {
namespace {

TEST(SettingsDump, PresentSlotsInTagOrder) {
    const SettingsTable table = zendor::test::tableOf(
        {{0xFF, "1234"}, {0x60, "01"}, {0x65, ""}, {0x10, "41"}, {0x9F, "0A0B0C0D0E0F"}}, true);
    ::testing::internal::CaptureStdout();
    printSettingsDump(table);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "10=41\n60=01\n65=\n9F=0A0B0C0D0E0F\nFF=1234\n");

    ::testing::internal::CaptureStdout();
    printSettingsDump(SettingsTable{.clearFlag = 1});
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace zendor::settings
