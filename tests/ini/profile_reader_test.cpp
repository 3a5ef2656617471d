// The INI profile reader: line rules, section and key matching, defaults, bounded copies.
#include "ini/profile_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "ini/fixture_file.h"
#include "ini/line_reader.h"

namespace zendor::ini {
namespace {

using zendor::test::FixtureFile;

struct Lookup {
    const char* section;
    const char* key;
    std::string value;
    int line;
};

void expectLookups(const FixtureFile& file, std::span<const Lookup> cases) {
    for (const Lookup& c : cases) {
        std::array<char, 128> value{};
        value.fill('?');
        EXPECT_EQ(findProfileKey(file.path(), c.section, c.key, value), c.line) << c.key;
        EXPECT_EQ(std::string(value.data()), c.value) << c.key;
    }
}

TEST(ProfileReader, SectionKeyAndSeparatorRules) {
    const FixtureFile file("rules.ini",
                           "loc=before any section\n"
                           " \t[master]\n"
                           "loc=0A\n"
                           "clearall=9\n"
                           "clear = 1 ; set the flag\n"
                           "empty=\n"
                           "emptyc= ; comment\n"
                           "alone\n"
                           "sep1 : 0A\n"
                           "sep2 0A\n"
                           "sep3==0A\n"
                           "sep4\t=:=\t0B\n"
                           "quoted=\"a b\"\n"
                           "hash=1#2\n"
                           "\n"
                           "#commented=1\n"
                           " ;commented2=1\n"
                           "inner = a  b   ; x\n"
                           "[ master ]\n"
                           "spaced=1\n"
                           "[Master]\n"
                           "upper=1\n"
                           "[other]\n"
                           "inother=1\n"
                           "[master] trailing text\n"
                           "late=2\n");
    const Lookup cases[] = {
        {"master", "loc", "0A", 2},
        {"master", "clear", "1", 4},
        {"master", "empty", "", 5},
        {"master", "emptyc", "", 6},
        {"master", "alone", "", -1},
        {"master", "sep1", "0A", 8},
        {"master", "sep2", "0A", 9},
        {"master", "sep3", "0A", 10},
        {"master", "sep4", "0B", 11},
        {"master", "quoted", "\"a b\"", 12},
        {"master", "hash", "1", 13},
        {"master", "commented", "", -1},
        {"master", "commented2", "", -1},
        {"master", "inner", "a  b", 17},
        {"master", "spaced", "", -1},
        {"master", "upper", "", -1},
        {"master", "inother", "", -1},
        {"master", "late", "2", 25},
        {"master", "Loc", "", -1},
        {"Master", "upper", "1", 21},
        {"other", "inother", "1", 23},
        {"other", "loc", "", -1},
        {"", "loc", "", -1},
        {"master", "", "", -1},
    };
    expectLookups(file, cases);
}

TEST(ProfileReader, FirstKeyWinsAndARepeatedHeadClosesTheSection) {
    const FixtureFile file("repeat.ini",
                           "[a]\n"
                           "k=1\n"
                           "k=2\n"
                           "[a]\n"
                           "m=1\n"
                           "[a]\n"
                           "m=2\n");
    const Lookup cases[] = {{"a", "k", "1", 1}, {"a", "m", "2", 6}};
    expectLookups(file, cases);
}

TEST(ProfileReader, ByteOrderMarkCarriageReturnsAndHighBytesAreBlanks) {
    const FixtureFile file("blanks.ini",
                           "\xEF\xBB\xBF[master]\r\n"
                           "loc = 0A \r\n"
                           "high=\x80\x81"
                           "ab\x90"
                           "c\xFF\xFE\r\n"
                           "\xA0key=3\r\n"
                           "bare\r\n");
    const Lookup cases[] = {
        {"master", "loc", "0A", 1},
        {"master", "high",
         "ab\x90"
         "c",
         2},
        {"master", "key", "3", 3},
        {"master", "bare", "", -1},
    };
    expectLookups(file, cases);
}

TEST(ProfileReader, DefaultsAndSmallBuffers) {
    const FixtureFile file("defaults.ini", "[master]\ninner = abc  def ; x\n");
    std::array<char, 128> value{};

    EXPECT_EQ(readProfileString(file.path(), "master", "inner", value, ""), 1);
    EXPECT_STREQ(value.data(), "abc  def");
    EXPECT_EQ(readProfileString(file.path(), "master", "none", value, "dflt"), 4);
    EXPECT_STREQ(value.data(), "dflt");
    EXPECT_EQ(readProfileString(file.path(), "master", "none", value, nullptr), -1);
    EXPECT_STREQ(value.data(), "");
    EXPECT_EQ(readProfileString("/nonexistent/zendor.ini", "master", "inner", value, "d"), 1);
    EXPECT_STREQ(value.data(), "d");
    EXPECT_EQ(findProfileKey(nullptr, "master", "inner", value), -1);

    // Cut to size - 1 characters first, then the trailing blanks go.
    std::array<char, 6> small{};
    EXPECT_EQ(readProfileString(file.path(), "master", "inner", small, ""), 1);
    EXPECT_STREQ(small.data(), "abc");
    std::array<char, 3> tiny{};
    EXPECT_EQ(readProfileString(file.path(), "master", "none", tiny, "long default"), 12);
    EXPECT_STREQ(tiny.data(), "lo");

    // Without a buffer the line is still found.
    EXPECT_EQ(findProfileKey(file.path(), "master", "inner", {}), 1);
}

TEST(ProfileReader, CopyBoundedTerminatesWithinTheSize) {
    struct Case {
        const char* source;
        size_t size;
        const char* copied;
        size_t result;
    };
    const Case cases[] = {
        {"abc", 1, "", 3},    {"abc", 3, "ab", 3}, {"abc", 4, "abc", 3},
        {"abc", 9, "abc", 3}, {nullptr, 9, "", 0}, {"", 9, "", 0},
    };
    for (const Case& c : cases) {
        std::array<char, 10> buffer{};
        buffer.fill('?');
        EXPECT_EQ(copyBounded(std::span(buffer.data(), c.size), c.source), c.result);
        EXPECT_STREQ(buffer.data(), c.copied);
        EXPECT_EQ(buffer[c.size], '?') << "wrote past the size";
    }
    std::array<char, 1> untouched{'?'};
    EXPECT_EQ(copyBounded(std::span(untouched.data(), 0), "abc"), 3u);
    EXPECT_EQ(untouched[0], '?');
}

}  // namespace
}  // namespace zendor::ini
