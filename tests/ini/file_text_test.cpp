// Reading a configuration whole: every kind of file gives its bytes exactly, once, or says why not.
#include "ini/file_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "ini/fixture_file.h"

namespace zendor::ini {
namespace {

using zendor::test::FixtureFile;

// Every byte but NUL is text, whatever it means in UTF-8.
const std::string kAwkwardBytes = "[master]\r\nloc = 0A\x01 SOH\n\xFF\xFE;x\x80";

TEST(ReadFileText, RegularFilesExactlyAndAtTheLimit) {
    struct Case {
        const char* name;
        std::string text;
        FileStatus status;
    };
    const Case cases[] = {
        {"empty", "", FileStatus::Read},
        {"awkward bytes", kAwkwardBytes, FileStatus::Read},
        {"a NUL byte", std::string("[master]\nloc = 0A\0\n", 20), FileStatus::NotText},
        {"the limit", std::string(kMaxFileSize, ';'), FileStatus::Read},
        {"one byte past it", std::string(kMaxFileSize + 1, ';'), FileStatus::TooLarge},
    };
    for (const Case& c : cases) {
        const FixtureFile file("whole.ini", c.text);
        const FileText read = readFileText(file.path());
        EXPECT_EQ(read.status, c.status) << c.name;
        EXPECT_EQ(read.bytes, c.status == FileStatus::Read ? c.text : "") << c.name;
    }
}

// A FIFO (like a pipe or /dev/stdin) can be read only once: it gives what a file gives.
TEST(ReadFileText, AFifoGivesWhatAFileGives) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFO in its file system";
#else
    const std::string fifo = ::testing::TempDir() + "zendor-fifo-" + std::to_string(::getpid());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        std::FILE* out = std::fopen(fifo.c_str(), "wb");
        std::fwrite(kAwkwardBytes.data(), 1, kAwkwardBytes.size(), out);
        std::fclose(out);
    });
    const FileText read = readFileText(fifo.c_str());
    writer.join();
    std::remove(fifo.c_str());
    EXPECT_EQ(read.status, FileStatus::Read);
    EXPECT_EQ(read.bytes, kAwkwardBytes);
#endif
}

TEST(ReadFileText, WhatCannotBeReadWhole) {
    struct Case {
        std::string path;
        FileStatus status;
    };
    const Case cases[] = {
        {::testing::TempDir() + "zendor-no-such-file.ini", FileStatus::Unreadable},
        {::testing::TempDir(), FileStatus::Unreadable},  // a folder opens, but does not read
        {"/dev/zero", FileStatus::TooLarge},             // endless: reading stops at the limit
    };
    for (const Case& c : cases) {
        const FileText read = readFileText(c.path.c_str());
        EXPECT_EQ(read.status, c.status) << c.path;
        EXPECT_EQ(read.bytes, "") << c.path;
    }
    EXPECT_EQ(readFileText(nullptr).status, FileStatus::Unreadable);
}

// Text as Windows saves it: UTF-16 of either order, after its mark.
std::string utf16(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(DecodeConfigText, Utf16OfBothOrdersBecomesUtf8) {
    struct Case {
        const char* name;
        std::u16string_view text;
        std::string utf8;  // "" with status NotText
        FileStatus status;
    };
    const Case cases[] = {
        {"empty after the mark", u"", "", FileStatus::Read},
        {"CRLF kept", u"[master]\r\nloc = 0A\r\n", "[master]\r\nloc = 0A\r\n", FileStatus::Read},
        {"two and three UTF-8 bytes", u"; caf\u00e9 \u20ac\n", "; caf\xC3\xA9 \xE2\x82\xAC\n",
         FileStatus::Read},
        {"a surrogate pair is one character", u"; \U0001F511\n", "; \xF0\x9F\x94\x91\n",
         FileStatus::Read},
        {"a lone high surrogate", u"; \xD83D\n", "; \xEF\xBF\xBD\n", FileStatus::Read},
        {"a lone low surrogate", u"; \xDD11\n", "; \xEF\xBF\xBD\n", FileStatus::Read},
        {"a high surrogate last", u";\xD83D", ";\xEF\xBF\xBD", FileStatus::Read},
        {"two high surrogates", u"\xD83D\xD83D\xDD11", "\xEF\xBF\xBD\xF0\x9F\x94\x91",
         FileStatus::Read},
        {"a UTF-16 mark after the mark stays", u"\xFEFF;", "\xEF\xBB\xBF;", FileStatus::Read},
        {"a NUL character", std::u16string_view(u"opt = 01\0\n", 10), "", FileStatus::NotText},
    };
    for (const Case& c : cases) {
        for (bool bigEndian : {false, true}) {
            std::string bytes = utf16(c.text, bigEndian);
            const std::string before = bytes;
            EXPECT_EQ(decodeConfigText(bytes), c.status) << c.name << bigEndian;
            EXPECT_EQ(bytes, c.status == FileStatus::Read ? c.utf8 : before) << c.name << bigEndian;
        }
    }
}

TEST(DecodeConfigText, OtherBytesStayOrAreNotText) {
    struct Case {
        const char* name;
        std::string bytes;
        FileStatus status;
    };
    const Case cases[] = {
        {"UTF-8 with its mark", "\xEF\xBB\xBF[master]\nloc = 0A\n", FileStatus::Read},
        {"a UTF-8 mark alone", "\xEF\xBB\xBF", FileStatus::Read},
        {"one byte of a mark", "\xFF", FileStatus::Read},
        {"the marks later in the text", "; \xFF\xFE \xFE\xFF\n", FileStatus::Read},
        {"NUL in UTF-8 text", std::string("[general]\nopt = 01\0 02\n", 23), FileStatus::NotText},
        {"NUL after a UTF-8 mark", std::string("\xEF\xBB\xBF;\0;", 6), FileStatus::NotText},
        {"NUL first", std::string("\0", 1), FileStatus::NotText},
        {"UTF-16LE cut in a unit", utf16(u"opt = 01\n", false) + ";", FileStatus::NotText},
        {"UTF-16BE cut in a unit", utf16(u"opt = 01\n", true).substr(0, 5), FileStatus::NotText},
        {"UTF-16 without its mark", std::string("o\0p\0t\0", 6), FileStatus::NotText},
        {"UTF-32LE reads as a NUL", std::string("\xFF\xFE\0\0;\0\0\0", 8), FileStatus::NotText},
    };
    for (const Case& c : cases) {
        std::string bytes = c.bytes;
        EXPECT_EQ(decodeConfigText(bytes), c.status) << c.name;
        EXPECT_EQ(bytes, c.bytes) << c.name;
    }
}

// Three UTF-8 bytes for each unit of two: a file within the limit can give text beyond it.
TEST(DecodeConfigText, TheTextIsBoundedToo) {
    const size_t units = kMaxFileSize / 3;
    std::string within = utf16(std::u16string(units, u'\u20ac'), false);
    EXPECT_EQ(decodeConfigText(within), FileStatus::Read);
    EXPECT_EQ(within.size(), units * 3);

    std::string beyond = utf16(std::u16string(units + 1, u'\u20ac'), true);
    ASSERT_LT(beyond.size(), kMaxFileSize);
    const std::string before = beyond;
    EXPECT_EQ(decodeConfigText(beyond), FileStatus::TooLarge);
    EXPECT_EQ(beyond, before);

    const FixtureFile file("wide.ini", before);
    const FileText read = readFileText(file.path());
    EXPECT_EQ(read.status, FileStatus::TooLarge);
    EXPECT_EQ(read.bytes, "");
}

TEST(ReadFileText, AFileSavedAsUtf16IsReadAsUtf8) {
    const FixtureFile file("unicode.ini", utf16(u"[master]\r\nloc = 0A ; \u00e9\r\n", false));
    const FileText read = readFileText(file.path());
    EXPECT_EQ(read.status, FileStatus::Read);
    EXPECT_EQ(read.bytes, "[master]\r\nloc = 0A ; \xC3\xA9\r\n");
}

// A missing file is left to the caller; one that is there but cannot be read says why.
TEST(UsableAsText, OneLineForAFileTooLargeNotTextOrThereButUnreadable) {
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(usableAsText(FileText{FileStatus::Read, "x", ""}, "a.ini"));
    EXPECT_TRUE(usableAsText(FileText{FileStatus::Unreadable, "", ""}, "b.ini"));
    EXPECT_FALSE(usableAsText(FileText{FileStatus::TooLarge, "", ""}, "c.ini"));
    EXPECT_FALSE(usableAsText(FileText{FileStatus::NotText, "", ""}, "d.ini"));
    EXPECT_FALSE(usableAsText(FileText{FileStatus::Unreadable, "", "Access is denied"}, "e.ini"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Failed to read file 'c.ini' : larger than 16 MiB\n"
              "Failed to read file 'd.ini' : not a text file\n"
              "Failed to read file 'e.ini' : Access is denied\n");
}

TEST(ReadFileText, AFileThatIsThereButCannotBeReadSaysWhy) {
    const std::string folder = ::testing::TempDir();
    const FileText there = readFileText(folder.c_str());
    EXPECT_EQ(there.status, FileStatus::Unreadable);
    EXPECT_FALSE(there.reason.empty());
    const std::string missing = folder + "zendor-no-such-file.ini";
    const FileText gone = readFileText(missing.c_str());
    EXPECT_EQ(gone.status, FileStatus::Unreadable);
    EXPECT_EQ(gone.reason, "");
}

}  // namespace
}  // namespace zendor::ini
