// The INI export: exact text of every section form, files, and export-then-load round trips.
#include "settings/settings_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "settings/config_loading.h"
#include "settings/table_text.h"
#include "support/temp_dir.h"
#include "support/text_mode.h"

namespace zendor::settings {
namespace {

using zendor::test::FixtureFile;
using zendor::test::tableOf;
using zendor::test::tableText;
using zendor::test::textModeBytes;

std::string exported(const SettingsTable& table) {
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(exportSettings(table, nullptr));
    return ::testing::internal::GetCapturedStdout();
}

const std::string kAbsentTemplates234 =
    "[tpl2]\n; Template is absent\n\n"
    "[tpl3]\n; Template is absent\n\n"
    "[tpl4]\n; Template is absent\n\n";

const std::string kGeneralAbsent =
    "[general]\n"
    ";opt= is absent ; Main options bits\n"
    ";odl= is absent ; Delay between 2 outputs (* 100 ms)\n"
    ";rdl= is absent ; Delay between 2 identical outputs (* 100 ms)\n"
    ";cld= is absent ; LEDs control bits\n"
    ";cbz= is absent ; Buzzer control bits\n"
    ";wgd= is absent ; Wiegand mode bits\n"
    ";dtc= is absent ; DataClock mode bits\n"
    ";ser= is absent ; Serial mode bits\n"
    ";shd= is absent ; RS-485 mode bits\n"
    ";pin= is absent ; Pin code\n"
    ";rc= is absent ; 4-byte value in RC's EEPROM\n"
    "\n";

TEST(ExportSettings, WorkedExample) {
    const SettingsTable table =
        tableOf({{0x60, "01"}, {0x61, "0A"}, {0x6F, ""}, {0x10, "41"}, {0x13, "04"}}, true);
    EXPECT_EQ(exported(table),
              "[general]\n"
              "opt=01 ; Main options bits\n"
              "odl=0A ; Delay between 2 outputs (* 100 ms)\n"
              ";rdl= is absent ; Delay between 2 identical outputs (* 100 ms)\n"
              ";cld= is absent ; LEDs control bits\n"
              ";cbz= is absent ; Buzzer control bits\n"
              ";wgd= is absent ; Wiegand mode bits\n"
              ";dtc= is absent ; DataClock mode bits\n"
              ";ser= is absent ; Serial mode bits\n"
              ";shd= is absent ; RS-485 mode bits\n"
              "pin= ; Pin code\n"
              ";rc= is absent ; 4-byte value in RC's EEPROM\n"
              "\n"
              "[tpl1]\n"
              "lkl=41 ; Card lookup list\n"
              ";tof= is absent ; Output format bits\n"
              ";pfx= is absent ; Output prefix string\n"
              "loc=04 ; Location of data\n"
              "\n" +
                  kAbsentTemplates234);
}

TEST(ExportSettings, EmptyTable) {
    EXPECT_EQ(exported(SettingsTable{}),
              kGeneralAbsent + "[tpl1]\n; Template is absent\n\n" + kAbsentTemplates234);
}

TEST(ExportSettings, OneRcKeyBringsTheWholeSection) {
    std::string rckeys = "[rckeys]\n";
    for (char bank : {'a', 'b'}) {
        for (int n = 0; n < 16; ++n) {
            const std::string key = bank + std::to_string(n);
            const std::string description = std::string("MfRC E2 key ") +
                                            static_cast<char>(bank - 'a' + 'A') + std::to_string(n);
            rckeys += key == "b3" ? "b3=0102030405FF ; " + description + "\n"
                                  : ";" + key + "= is absent ; " + description + "\n";
        }
    }
    EXPECT_EQ(exported(tableOf({{0x93, "0102030405FF"}})),
              kGeneralAbsent + rckeys + "\n[tpl1]\n; Template is absent\n\n" + kAbsentTemplates234);
}

TEST(ExportSettings, EveryTemplateKindAndTheMasterTemplate) {
    const SettingsTable table = tableOf({
        {0x10, "61"},
        {0x13, "0102"},
        {0x15, ""},
        {0x20, "71"},
        {0x23, "0102030405060708"},
        {0x24, "01"},
        {0x25, "00112233445566778899AABBCCDDEEFF10"},
        {0x30, "11"},
        {0x31, "02"},
        {0x32, "41424344"},
        {0x33, "05"},
        {0x34, "00"},
        {0x35, "00A4040007"},
        {0x36, "00B0000010"},
        {0x37, "00C0000020"},
        {0x40, "05"},
        {0x42, std::string(48, 'F')},
        {0x56, "0100112233445566778899AABBCCDDEEFF"},
    });
    EXPECT_EQ(exported(table),
              kGeneralAbsent +
                  "[tpl1]\n"
                  "lkl=61 ; Card lookup list\n"
                  ";tof= is absent ; Output format bits\n"
                  ";pfx= is absent ; Output prefix string\n"
                  "loc=0102 ; Location of data (block number or AID)\n"
                  "aut= ; Authentication key & options\n"
                  "\n"
                  "[tpl2]\n"
                  "lkl=71 ; Card lookup list\n"
                  ";tof= is absent ; Output format bits\n"
                  ";pfx= is absent ; Output prefix string\n"
                  "loc=0102030405060708 ; Location of data\n"
                  "opt=01 ; T=CL options\n"
                  "aut=00112233445566778899AABBCCDDEEFF10 ; Authentication key & options\n"
                  "\n"
                  "[tpl3]\n"
                  "lkl=11 ; Card lookup list\n"
                  "tof=02 ; Output format bits\n"
                  "pfx=41424344 ; Output prefix string\n"
                  "loc=05 ; Offset of data in APDU 3\n"
                  "opt=00 ; T=CL options\n"
                  "apdu1=00A4040007 ; APDU 1\n"
                  "apdu2=00B0000010 ; APDU 2\n"
                  "apdu3=00C0000020 ; APDU 3\n"
                  "\n"
                  "[tpl4]\n"
                  "lkl=05 ; Card lookup list\n"
                  ";tof= is absent ; Output format bits\n"
                  "pfx=" +
                  std::string(48, 'F') +
                  " ; Output prefix string\n"
                  "\n"
                  "[tpl5]\n"
                  "sgn=0100112233445566778899AABBCCDDEEFF ; Signature key & options\n"
                  "\n");
    // With all three present, tpl5 lists them in schema order.
    const SettingsTable master = tableOf({{0x56, "02"}, {0x55, "01"}, {0x53, "0102030405"}});
    EXPECT_EQ(exported(master).substr(exported(SettingsTable{}).size()),
              "[tpl5]\n"
              "loc=0102030405 ; Location of data in master card\n"
              "aut=01 ; Authentication key & options\n"
              "sgn=02 ; Signature key & options\n"
              "\n");
}

// A template of the kind without rows keeps its lkl line, so that it loads back.
TEST(ExportSettings, TemplatesWithoutAKindOrRowsAndInvalidLengths) {
    SettingsTable table = tableOf(
        {{0x10, "4141"}, {0x20, "10"}, {0x30, "7F"}, {0x40, "72"}, {0x41, "01"}, {0x60, "01"}});
    table.slots[0x60].length = 25;
    const std::string text = exported(table);
    EXPECT_EQ(text.substr(0, text.find(";odl")),
              "[general]\n"
              "Unpossible error\n"
              ";opt= is invalid ; Main options bits\n");
    EXPECT_EQ(text.substr(text.find("[tpl1]")),
              "[tpl1]\n; Template is absent\n\n"
              "[tpl2]\n; Template is absent\n\n"
              "[tpl3]\n; Template is absent\n\n"
              "[tpl4]\n\n");
}

TEST(FormatHexValue, LengthsUpTo24) {
    const std::array<uint8_t, 24> bytes = {0x00, 0x0F, 0xA5, 0xFF};
    std::array<char, 128> text{};
    text.fill('?');
    EXPECT_TRUE(formatHexValue(text, bytes, 4));
    EXPECT_STREQ(text.data(), "000FA5FF");
    EXPECT_TRUE(formatHexValue(text, bytes, 0));
    EXPECT_STREQ(text.data(), "");
    EXPECT_TRUE(formatHexValue(text, bytes, 24));
    EXPECT_EQ(std::string(text.data()).size(), 48u);

    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(formatHexValue(text, bytes, 25));
    EXPECT_FALSE(formatHexValue(std::span(text.data(), 8), bytes, 4));  // no room for the end
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Unpossible error\nUnpossible error\n");
    EXPECT_STREQ(text.data(), "");
}

TEST(ExportSettings, Files) {
    const SettingsTable table = tableOf({{0x60, "01"}});
    const FixtureFile file("export.ini", std::string(5000, 'x'));
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(exportSettings(table, file.path()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(file.text(), textModeBytes(exported(table)));

    const std::string inMissingFolder = ::testing::TempDir() + "zendor-no-such-folder/out.ini";
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(exportSettings(table, inMissingFolder.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Failed to create file '" + inMissingFolder + "'\n");

    // A device that refuses every write: the export must not claim success.
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(exportSettings(table, "/dev/full"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Failed to write file '/dev/full'\n");
}

// A file name beyond ASCII, given as UTF-8 as a command line gives it, names that very file on
// every system (on Windows through the UTF-8 code page of the programs' manifest).
TEST(ExportSettings, FileNameBeyondAsciiLoadsBack) {
    const std::u8string name = u8"zendor-export-Zürich-東京.ini";
    const std::filesystem::path path = std::filesystem::path(::testing::TempDir()) / name;
    const std::u8string utf8 = path.u8string();
    const std::string narrow(utf8.begin(), utf8.end());
    const SettingsTable table = tableOf({{0x60, "01"}});

    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(exportSettings(table, narrow.c_str()));
    SettingsTable reloaded;
    EXPECT_TRUE(loadConfigFile(reloaded, narrow.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    EXPECT_EQ(tableText(reloaded), tableText(table));
    std::filesystem::remove(path);
}

// Exported text loads back to the same table, whatever notation the original file used.
TEST(ExportSettings, LoadsBackToTheSameTable) {
    const FixtureFile source(
        "source.ini",
        "[general]\n"
        "opt=01\nodl=10|d\nrdl=00001111|b\ncld=A|s\ncbz=ff|h\n"
        "wgd=\ndtc=0|D\nser=11111111|B\nshd=z|S\npin=\nrc=65535|d\n"
        "[rckeys]\n"
        "a0=01 02 03 04 05 06\na15=4294967295|d\nb0=A:B:C:D:E:F:0:1:2:3:4:5\n"
        "b15=abcdef|s\n"
        "[tpl1]\nlkl=61\ntof=\npfx=Card 1|s\nloc=0102\naut=:\n"
        "[tpl2]\nlkl=71\nloc=1|d\nopt=00000001|b\naut=" +
            std::string(34, '7') +
            "\n"
            "[tpl3]\nlkl=13\ntof=01\npfx=pfx|s\nloc=07\nopt=\napdu1=00A4\napdu2=\n"
            "apdu3=" +
            std::string(48, 'C') +
            "\n"
            "[tpl4]\nlkl=41\nloc=09\n"
            "[tpl5]\nloc=F54D430102\naut=" +
            std::string(34, 'A') + "\nsgn=" + std::string(34, 'B') + "\n");
    SettingsTable original;
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(loadConfigFile(original, source.path()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

    const FixtureFile text("exported.ini", "");
    ::testing::internal::CaptureStdout();
    ASSERT_TRUE(exportSettings(original, text.path()));
    SettingsTable reloaded;
    ASSERT_TRUE(loadConfigFile(reloaded, text.path()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    const std::string loaded = tableText(original);
    EXPECT_EQ(tableText(reloaded), loaded);
    EXPECT_EQ(std::count(loaded.begin(), loaded.end(), '\n'), 37) << loaded;
}

}  // namespace
}  // namespace zendor::settings
