// The [master] parameters: built-in defaults, each entry over them, refused values with their
// whole output, and the clear flag.
#include "card/master_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace zendor::card {
namespace {

using Entry17 = std::array<uint8_t, 17>;

MasterCardLayout defaults() {
    MasterCardLayout layout;
    EXPECT_TRUE(setDefaultLayout(&layout));
    return layout;
}

// The stored form of a clear entry: byte i XOR (clear byte i-1 OR 8i), byte 0 unchanged.
Entry17 scramble(const Entry17& clear) {
    Entry17 stored = clear;
    for (size_t i = 1; i < stored.size(); ++i) {
        stored[i] = static_cast<uint8_t>(clear[i] ^ (clear[i - 1] | (8 * i)));
    }
    return stored;
}

TEST(DefaultLayoutTest, BuiltInValues) {
    const MasterCardLayout layout = defaults();
    EXPECT_EQ(layout.loc, (std::array<uint8_t, 5>{0x5A, 0x4D, 0x43, 0x01, 0x02}));
    EXPECT_EQ(layout.root, (std::array<uint8_t, 16>{}));
    EXPECT_EQ(layout.aut[0], 0xE0);
    EXPECT_EQ(layout.sgn[0], 0x20);
    const auto autKey = applicationKey(layout);
    const auto sgnKey = signatureKey(layout);
    auto isZero = [](uint8_t byte) { return byte == 0; };
    EXPECT_FALSE(std::all_of(autKey.begin(), autKey.end(), isZero));
    EXPECT_FALSE(std::all_of(sgnKey.begin(), sgnKey.end(), isZero));
    EXPECT_FALSE(std::equal(autKey.begin(), autKey.end(), sgnKey.begin()));

    // Scrambling the defaults again gives the stored entries: the chain runs over the bytes
    // already in clear, from byte 1 up.
    EXPECT_EQ(scramble(layout.aut), (Entry17{0xE0, 0x9A, 0x15, 0x45, 0xDD, 0x11, 0x66, 0x29, 0x4C,
                                             0x1E, 0xB8, 0x44, 0xBB, 0x4F, 0xD8, 0xD5, 0x53}));
    EXPECT_EQ(scramble(layout.sgn), (Entry17{0x20, 0x7F, 0xDC, 0xC0, 0x41, 0xBF, 0x8A, 0x02, 0x90,
                                             0x47, 0x2A, 0x5F, 0x69, 0xF3, 0x36, 0x60, 0x56}));
}

TEST(DefaultLayoutTest, SameRecordEveryTimeWhateverItHeld) {
    MasterCardLayout layout = defaults();
    const MasterCardLayout first = layout;
    layout.loc.fill(0xFF);
    layout.aut.fill(0xFF);
    layout.sgn.fill(0xFF);
    layout.root.fill(0xFF);
    ASSERT_TRUE(setDefaultLayout(&layout));
    EXPECT_EQ(layout, first);
    EXPECT_FALSE(setDefaultLayout(nullptr));
}

TEST(DefaultLayoutTest, CardParameters) {
    MasterCardLayout layout = defaults();
    EXPECT_EQ(layoutAid(layout), 0x5A4D43u);
    EXPECT_EQ(applicationKeyNumber(layout), 0);
    EXPECT_EQ(fileAccessRights(layout), 0xFF0F);
    EXPECT_EQ(applicationKey(layout).data(), layout.aut.data() + 1);
    EXPECT_EQ(signatureKey(layout).data(), layout.sgn.data() + 1);

    layout.loc = {0xA1, 0xB2, 0xC3, 0x07, 0x08};
    layout.aut[0] = 0xE3;
    EXPECT_EQ(layoutAid(layout), 0xA1B2C3u);
    EXPECT_EQ(applicationKeyNumber(layout), 3);
    EXPECT_EQ(fileAccessRights(layout), 0xFF3F);
}

// Each test writes its own configuration file into a private folder.
class MasterSectionTest : public ::testing::Test {
  protected:
    void write(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }

    // Defaults, then the [master] section of text; the whole output lands in output.
    bool load(const std::string& text, MasterCardLayout& layout, std::string& output) {
        write(text);
        layout = defaults();
        ::testing::internal::CaptureStdout();
        const bool ok = loadMasterLayout(&layout, file_.c_str());
        output = ::testing::internal::GetCapturedStdout();
        return ok;
    }

    zendor::test::TempDir folder_;
    std::string file_ = folder_.file("zendor.ini");
};

TEST_F(MasterSectionTest, NoSectionOrNoFileGivesDefaultsSilently) {
    const std::string kTexts[] = {
        "",
        "[general]\nloc=0102030405\n",
        "loc=0102030405\n[Master]\nloc=0102030405\n[ master ]\nroot=11\n",
        "[master]\nloc=\naut= ; nothing\n",
    };
    for (const std::string& text : kTexts) {
        MasterCardLayout layout;
        std::string output;
        EXPECT_TRUE(load(text, layout, output)) << text;
        EXPECT_EQ(output, "") << text;
        EXPECT_EQ(layout, defaults()) << text;
    }
    MasterCardLayout layout = defaults();
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(loadMasterLayout(&layout, folder_.file("absent.ini").c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(layout, defaults());
}

TEST_F(MasterSectionTest, NullArgumentsFailSilently) {
    MasterCardLayout layout = defaults();
    write("[master]\nloc=0102030405\n");
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(loadMasterLayout(nullptr, file_.c_str()));
    EXPECT_FALSE(loadMasterLayout(&layout, nullptr));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(layout, defaults());
}

// Each entry given alone replaces its own field only; separators between digits are ignored.
TEST_F(MasterSectionTest, EachEntryOnItsOwn) {
    struct Case {
        std::string text;
        void (*expect)(MasterCardLayout&);
    };
    const Case kCases[] = {
        {"[master]\nloc = 12:34:56 07.08\n",
         [](MasterCardLayout& l) {
             l.loc = {0x12, 0x34, 0x56, 0x07, 0x08};
         }},
        {"[master]\naut = E0 000102030405060708090A0B0C0D0E0F\n",
         [](MasterCardLayout& l) {
             l.aut = {0xE0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
         }},
        {"[master]\nsgn=20:F0F1F2F3.F4F5F6F7 F8F9FAFB FCFDFEFF ; signature key\n",
         [](MasterCardLayout& l) {
             l.sgn = {0x20, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7,
                      0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
         }},
        {"[master]\nroot=00000000000000000000000000000000\n", [](MasterCardLayout&) {}},
        {"[master]\nroot=a0a1a2a3a4a5a6a7a8a9aaabacadaeaf\n",
         [](MasterCardLayout& l) {
             l.root = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                       0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};
         }},
    };
    for (const Case& c : kCases) {
        MasterCardLayout layout;
        std::string output;
        EXPECT_TRUE(load(c.text, layout, output)) << c.text;
        EXPECT_EQ(output, "") << c.text;
        MasterCardLayout expected = defaults();
        c.expect(expected);
        EXPECT_EQ(layout, expected) << c.text;
    }
}

TEST_F(MasterSectionTest, AllEntriesTogether) {
    MasterCardLayout layout;
    std::string output;
    ASSERT_TRUE(
        load("[general]\n[master]\nroot=0F0E0D0C0B0A09080706050403020100\n"
             "sgn=2011111111111111111111111111111111\n"
             "aut=E022222222222222222222222222222222\nloc=0000010304\n",
             layout, output));
    EXPECT_EQ(output, "");
    EXPECT_EQ(layout.loc, (std::array<uint8_t, 5>{0, 0, 1, 3, 4}));
    EXPECT_EQ(layout.aut, (Entry17{0xE0, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22,
                                   0x22, 0x22, 0x22, 0x22, 0x22, 0x22}));
    EXPECT_EQ(layout.sgn, (Entry17{0x20, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                   0x11, 0x11, 0x11, 0x11, 0x11, 0x11}));
    EXPECT_EQ(layout.root,
              (std::array<uint8_t, 16>{15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
}

// A refused value prints the decoder's line and the entry's line, leaves its field as it was and
// ends the loading; the entries after it (here a valid root) are not read.
TEST_F(MasterSectionTest, RefusedValuesAndTheirLines) {
    const std::string k16 = "00112233445566778899AABBCCDDEEFF";
    struct Case {
        std::string entry;
        std::string output;
    };
    const Case kCases[] = {
        {"loc=5A4D4301", "Value '5A4D4301' : size < 5\nInvalid value for entry 'master.loc'\n"},
        {"loc=5A:4D:43:01:02:03",
         "Value '5A:4D:43:01:02:03' : size > 5\nInvalid value for entry 'master.loc'\n"},
        {"loc=5A4D43010G",
         "Value '5A4D43010G' : not hexadecimal\n"
         "Invalid value for entry 'master.loc'\n"},
        {"loc=5A4D430102F",
         "Value '5A4D430102F' : not an array of byte\n"
         "Invalid value for entry 'master.loc'\n"},
        {"aut=" + k16, "Value '" + k16 + "' : size < 17\nInvalid value for entry 'master.aut'\n"},
        {"aut=E0" + k16 + "00",
         "Value 'E0" + k16 + "00' : size > 17\nInvalid value for entry 'master.aut'\n"},
        {"sgn=20" + k16.substr(2),
         "Value '20" + k16.substr(2) + "' : size < 17\nInvalid value for entry 'master.sgn'\n"},
        {"sgn=x", "Value 'x' : not hexadecimal\nInvalid value for entry 'master.sgn'\n"},
        {"root=" + k16.substr(2),
         "Value '" + k16.substr(2) + "' : size < 16\nInvalid value for entry 'master.root'\n"},
        {"root=" + k16 + "00",
         "Value '" + k16 + "00' : size > 16\nInvalid value for entry 'master.root'\n"},
    };
    for (const Case& c : kCases) {
        const std::string key = c.entry.substr(0, c.entry.find('='));
        const std::string text =
            "[master]\n" + c.entry + "\n" + (key == "root" ? "" : "root=" + k16 + "\n");
        MasterCardLayout layout;
        std::string output;
        EXPECT_FALSE(load(text, layout, output)) << c.entry;
        EXPECT_EQ(output, c.output) << c.entry;
        EXPECT_EQ(layout, defaults()) << c.entry;
    }
}

// An option byte other than the one accepted is refused after the entry has been stored, and
// loading stops there.
TEST_F(MasterSectionTest, OptionBytes) {
    const std::string key = "000102030405060708090A0B0C0D0E0F";
    struct Case {
        std::string entry;
        bool accepted;
        std::string output;
    };
    const Case kCases[] = {
        {"aut=E1" + key, false, "Unsupported option specified in 'master.aut'\n"},
        {"aut=20" + key, false, "Unsupported option specified in 'master.aut'\n"},
        {"aut=E0" + key, true, ""},
        {"sgn=10" + key, false, "Unsupported option specified in 'master.sgn'\n"},
        {"sgn=00" + key, false, "Unsupported option specified in 'master.sgn'\n"},
        {"sgn=E0" + key, false, "Unsupported option specified in 'master.sgn'\n"},
        {"sgn=20" + key, true, ""},
    };
    for (const Case& c : kCases) {
        MasterCardLayout layout;
        std::string output;
        EXPECT_EQ(load("[master]\n" + c.entry + "\nroot=" + key + "\n", layout, output), c.accepted)
            << c.entry;
        EXPECT_EQ(output, c.output) << c.entry;
        const auto& field = c.entry[0] == 'a' ? layout.aut : layout.sgn;
        EXPECT_EQ(field[16], 0x0F) << c.entry << ": the entry is stored either way";
        EXPECT_EQ(layout.root[15], c.accepted ? 0x0F : 0x00) << c.entry;
    }
}

TEST_F(MasterSectionTest, FirstFailureStopsTheLoading) {
    MasterCardLayout layout;
    std::string output;
    EXPECT_FALSE(
        load("[master]\nloc=01\naut=E1000102030405060708090A0B0C0D0E0F\n", layout, output));
    EXPECT_EQ(output, "Value '01' : size < 5\nInvalid value for entry 'master.loc'\n");
    EXPECT_EQ(layout, defaults());
}

TEST_F(MasterSectionTest, ClearFlag) {
    struct Case {
        std::string text;
        int32_t flag;
    };
    const Case kCases[] = {
        {"[master]\nclear=1\n", 1},
        {"[master]\nclear = 2 ; comment\n", 1},
        {"[master]\nclear=-1\n", 1},
        {"[master]\nclear=1x\n", 1},
        {"[master]\nclear=99999999999999999999\n", 1},
        {"[master]\nclear=0\n", 0},
        {"[master]\nclear=no\n", 0},
        {"[master]\nclear=\n", 0},
        {"[master]\nloc=0102030405\n", 0},
        {"[general]\nclear=1\n", 0},
    };
    for (const Case& c : kCases) {
        write(c.text);
        int32_t flag = 0;
        ::testing::internal::CaptureStdout();
        EXPECT_TRUE(loadClearFlag(&flag, file_.c_str())) << c.text;
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << c.text;
        EXPECT_EQ(flag, c.flag) << c.text;
    }
    // A flag already set is left alone by a clear entry that does not set it.
    write("[master]\nclear=0\n");
    int32_t flag = 1;
    EXPECT_TRUE(loadClearFlag(&flag, file_.c_str()));
    EXPECT_EQ(flag, 1);
    EXPECT_TRUE(loadClearFlag(&flag, folder_.file("absent.ini").c_str()));
    EXPECT_FALSE(loadClearFlag(nullptr, file_.c_str()));
    EXPECT_FALSE(loadClearFlag(&flag, nullptr));
}

}  // namespace
}  // namespace zendor::card
