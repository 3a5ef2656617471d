// The shared line rules on an open stream and in memory, for both line-piece lengths, and the
// one-pass lookup of many keys against one lookup per key.
#include "ini/line_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "ini/fixture_file.h"

namespace zendor::ini {
namespace {

using zendor::test::FixtureFile;

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

// Pieces of lines that the rules treat differently; random texts are made of them.
const std::vector<std::string> kFragments = {
    "[s]\n",
    "[t]\n",
    " \t[s] trailing\n",
    "[s]x]\n",
    "[ s]\n",
    "\xEF\xBB\xBF[t]\r\n",
    "k=1\n",
    "k = 2 ; c\n",
    "kk:3\n",
    "k k=4\n",
    "#k=5\n",
    " ;k=6\n",
    "k\n",
    "v\t7 # c\n",
    std::string("k=\0 8\n", 6),
    std::string("\0k=9\n", 5),
    "\r\n",
    "\n",
    "x]y=1\n",
    std::string(140, ' ') + "k=10\n",
    ";" + std::string(300, '-') + "k=11\n",
    "v = " + std::string(200, 'a') + "\n",
    "k=12",
};

std::string randomText(std::minstd_rand& random) {
    std::string text;
    for (size_t n = random() % 24; n > 0; --n) {
        text += kFragments[random() % kFragments.size()];
    }
    return text;
}

// What findKeysInText must give: one findKeyInText per lookup, with value buffers of several
// sizes (none, cut short, whole).
TEST(FindKeysInText, AnswersAsOneLookupPerKey) {
    const char* const sections[] = {"s", "t", "s]x", "", nullptr};
    const char* const keys[] = {"k", "kk", "k k", "v", "x]y", "", nullptr};
    constexpr size_t kSizes[] = {0, 4, 128};
    std::minstd_rand random(12);
    for (int round = 0; round < 400; ++round) {
        const std::string text = randomText(random);
        for (size_t pieceLength : {kProfilePieceLength, kStreamPieceLength}) {
            std::vector<std::array<char, 128>> buffers(std::size(sections) * std::size(keys) *
                                                       std::size(kSizes));
            std::vector<KeyLookup> lookups;
            for (const char* section : sections) {
                for (const char* key : keys) {
                    for (size_t size : kSizes) {
                        buffers[lookups.size()].fill('?');
                        lookups.push_back(
                            {section, key, std::span(buffers[lookups.size()].data(), size), 7});
                    }
                }
            }
            findKeysInText(text, pieceLength, lookups);
            for (const KeyLookup& lookup : lookups) {
                std::array<char, 128> expected{};
                expected.fill('?');
                const std::span<char> value(expected.data(), lookup.value.size());
                const int line =
                    findKeyInText(text, lookup.section, lookup.key, pieceLength, value);
                SCOPED_TRACE(::testing::Message()
                             << "section " << (lookup.section ? lookup.section : "(null)")
                             << ", key " << (lookup.key ? lookup.key : "(null)") << ", buffer "
                             << lookup.value.size() << ", pieces of " << pieceLength << ", text:\n"
                             << text);
                ASSERT_EQ(lookup.line, line);
                ASSERT_EQ(std::string(lookup.value.data(), lookup.value.size()),
                          std::string(value.data(), value.size()));
            }
        }
    }
}

}  // namespace
}  // namespace zendor::ini
