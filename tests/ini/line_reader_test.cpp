// The shared line rules on an open stream, for both line-piece lengths.
#include "ini/line_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "ini/fixture_file.h"

namespace zendor::ini {
namespace {

using zendor::testing::FixtureFile;

class LongLines : public ::testing::TestWithParam<size_t> {};

// Only the first piece of a line is examined; the rest of it is never taken for a line of its own.
TEST_P(LongLines, AreExaminedOnceByTheirFirstPiece) {
    const size_t n = GetParam();
    const std::string text = "[s]\n" + std::string(n - 5, ' ') +
                             "k=abc\n" +                            // exactly n characters
                             std::string(n - 4, ' ') + "j=abc\n" +  // n + 1: the 'c' is cut
                             ";" + std::string(n - 1, 'x') + "h=hidden\n" +  // dead comment tail
                             std::string(3 * n, 'z') + "\n" +  // three pieces, one line
                             "last=1";                         // no line end
    const FixtureFile file("long.ini", text);
    std::FILE* stream = std::fopen(file.path(), "r");
    ASSERT_NE(stream, nullptr);

    struct Case {
        const char* key;
        int line;
        const char* value;
    };
    const Case cases[] = {
        {"k", 1, "abc"}, {"j", 2, "ab"}, {"h", -1, ""}, {"last", 5, "1"}, {"k", 1, "abc"}};
    for (const Case& c : cases) {
        std::array<char, 128> value{};
        EXPECT_EQ(findKeyInStream(stream, "s", c.key, n, value), c.line) << c.key;
        EXPECT_STREQ(value.data(), c.value) << c.key;
    }
    std::fclose(stream);
}

INSTANTIATE_TEST_SUITE_P(PieceLengths, LongLines,
                         ::testing::Values(kProfilePieceLength, kStreamPieceLength));

TEST(LineReader, RefusesMissingNamesAndUnseekableStreams) {
    const FixtureFile file("names.ini", "[s]\nk=1\n");
    std::FILE* stream = std::fopen(file.path(), "r");
    ASSERT_NE(stream, nullptr);
    std::array<char, 8> value{'?'};
    EXPECT_EQ(findKeyInStream(stream, "", "k", kStreamPieceLength, value), -1);
    EXPECT_EQ(findKeyInStream(stream, "s", nullptr, kStreamPieceLength, value), -1);
    EXPECT_EQ(findKeyInStream(nullptr, "s", "k", kStreamPieceLength, value), -1);
    EXPECT_STREQ(value.data(), "");
    std::fclose(stream);

    std::FILE* pipe = ::popen("printf '[s]\\nk=1\\n'", "r");
    ASSERT_NE(pipe, nullptr);
    EXPECT_EQ(findKeyInStream(pipe, "s", "k", kStreamPieceLength, value), -1);
    ::pclose(pipe);
}

}  // namespace
}  // namespace zendor::ini
