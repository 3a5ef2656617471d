// Loading configuration files: every notation, template kinds, bad values, files that fail.
#include "settings/config_loading.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "settings/table_text.h"
#include "support/temp_dir.h"

namespace zendor::settings {
namespace {

using zendor::test::FixtureFile;
using zendor::test::tableText;

struct Loaded {
    bool result;
    std::string output;
    std::string table;
};

Loaded load(const char* fileName, SettingsTable table = {}) {
    ::testing::internal::CaptureStdout();
    const bool result = loadConfigFile(table, fileName);
    return {result, ::testing::internal::GetCapturedStdout(), tableText(table)};
}

const char kEveryNotation[] =
    "[master]\n"
    "opt=FF\n"
    "[general]\n"
    "opt=01\n"
    "odl=10|d\n"
    "rdl=00001111|b\n"
    "cld=A|s\n"
    "cbz = 0x1 ; refused\n"
    "wgd=\n"
    "pin=1234|d\n"
    "rc=12:34\n"
    "unknown=1\n"
    "[rckeys]\n"
    "b15=1|d\n"
    "a1=0102030405\n"
    "a0=01 02 03 04 05 06\n"
    "[tpl1]\n"
    "aut=01\n"
    "loc=04\n"
    "lkl=41\n"
    "[tpl2]\n"
    "lkl=71\n"
    "loc=0102030405060708\n"
    "opt=01\n"
    "aut=:\n"
    "apdu1=00A4\n"
    "[tpl3]\n"
    "lkl=\n"
    "tof=01\n"
    "[tpl4]\n"
    "lkl=72\n"
    "tof=01\n"
    "[tpl5]\n"
    "loc=0102030405\n"
    "sgn=01:00112233445566778899AABBCCDDEEFF\n"
    "[tpl0]\n"
    "lkl=01\n";

TEST(LoadConfigFile, EveryNotationKindAndBadValue) {
    const FixtureFile file("every.ini", kEveryNotation);
    const Loaded loaded = load(file.path());
    EXPECT_TRUE(loaded.result);
    EXPECT_EQ(loaded.output,
              "Value '0x1' : not hexadecimal\n"
              "Failed to decode value '0x1'Invalid entry 'general.cbz'\n"
              "Value '0102030405' : size < 6\n"
              "Failed to decode value '0102030405'Invalid entry 'rckeys.a1'\n");
    EXPECT_EQ(loaded.table,
              "10=41\n13=04\n"
              "20=71\n23=0102030405060708\n24=01\n25=\n"
              "30=\n"
              "40=72\n"
              "53=0102030405\n56=0100112233445566778899AABBCCDDEEFF\n"
              "60=01\n61=0A\n62=0F\n63=41\n65=\n6F=04D2\n"
              "80=010203040506\n9F=000000000001\n"
              "FF=1234\n");
}

// Which keys of a lookup template are read depends on the kind its lkl selects.
TEST(LoadConfigFile, TemplateKindsChooseTheKeysRead) {
    struct Case {
        const char* lkl;
        std::string table;
        std::string output;
    };
    const Case cases[] = {
        {"00", "10=00\n11=01\n12=02\n", ""},
        {"0F", "10=0F\n11=01\n12=02\n", ""},
        {"41", "10=41\n11=01\n12=02\n13=03\n", ""},
        {"61", "10=61\n11=01\n12=02\n13=03\n15=05\n", ""},
        {"71", "10=71\n11=01\n12=02\n14=04\n15=05\n",
         "Value '03' : size < 8\nFailed to decode value '03'Invalid entry 'tpl1.loc'\n"},
        {"12", "10=12\n11=01\n12=02\n13=03\n14=04\n15=06\n16=07\n17=08\n", ""},
        {"72", "10=72\n", ""},
        {"10", "10=10\n", ""},
        {"7F", "10=7F\n", ""},
        {"", "10=\n", ""},
        {"4141", "",
         "Value '4141' : size > 1\nFailed to decode value '4141'Invalid entry 'tpl1.lkl'\n"},
    };
    for (const Case& c : cases) {
        const FixtureFile file("kind.ini", std::string("[tpl1]\n"
                                                       "tof=01\npfx=02\nloc=03\nopt=04\naut=05\n"
                                                       "apdu1=06\napdu2=07\napdu3=08\nlkl=") +
                                               c.lkl + "\n");
        const Loaded loaded = load(file.path());
        EXPECT_TRUE(loaded.result) << c.lkl;
        EXPECT_EQ(loaded.output, c.output) << c.lkl;
        EXPECT_EQ(loaded.table, c.table) << c.lkl;
    }
}

TEST(LoadConfigFile, FilesThatCannotBeRead) {
    const FixtureFile empty("empty.ini", "");
    SettingsTable cleared;
    cleared.clearFlag = 1;
    EXPECT_EQ(load(empty.path(), cleared).table, "clear\n");
    EXPECT_EQ(load(empty.path()).output, "");

    const std::string missing = ::testing::TempDir() + "zendor-no-such-file.ini";
    const std::string folder = ::testing::TempDir();
    // A folder is there: the line says why it cannot be read (the system's words vary).
    for (const std::string& name : {missing, folder}) {
        const Loaded loaded = load(name.c_str(), cleared);
        EXPECT_FALSE(loaded.result) << name;
        const std::string line = "Failed to read file '" + name + "'";
        EXPECT_EQ(loaded.output.substr(0, line.size()), line) << name;
        EXPECT_EQ(loaded.output == line + "\n", name == missing) << loaded.output;
        EXPECT_EQ(loaded.table, "clear\n");
    }
    const Loaded unnamed = load(nullptr);
    EXPECT_FALSE(unnamed.result);
    EXPECT_EQ(unnamed.output, "");
}

// The loader examines the first 255 characters of a line and skips the rest of it.
TEST(LoadConfigFile, LinePiecesOf255Characters) {
    const FixtureFile file("pieces.ini", "[general]\n" + std::string(249, ' ') + "opt=01\n" +
                                             std::string(250, ' ') + "odl=02\n" + ";" +
                                             std::string(254, '-') + "rdl=03\n");
    const Loaded loaded = load(file.path());
    EXPECT_TRUE(loaded.result);
    EXPECT_EQ(loaded.output,  // the value of odl is cut to "0" by the piece's end
              "Value '0' : not an array of byte\n"
              "Failed to decode value '0'Invalid entry 'general.odl'\n");
    EXPECT_EQ(loaded.table, "60=01\n");
}

}  // namespace
}  // namespace zendor::settings
