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
        // A second half of exactly DC00 adds nothing to the first.
        {"U+10000", u";\U00010000", ";\xF0\x90\x80\x80", FileStatus::Read},
        {"U+1F400", u";\U0001F400", ";\xF0\x9F\x90\x80", FileStatus::Read},
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

std::string utf8(std::u8string_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

// Comments in many scripts, each as the end of a file with its line ended or not: none may be
// taken for 8-bit text. Their units hold the bytes of LF and CR ('上', '不', Gurmukhi and
// Gujarati, Malayalam), ASCII letters (CJK), C0 controls (Cyrillic, Greek) and surrogates.
TEST(DecodeConfigText, Utf16InEveryScriptIsRead) {
    struct Sample {
        std::u16string_view utf16;
        std::u8string_view utf8;
    };
    const Sample samples[] = {
        {u"设置读卡器上不下", u8"设置读卡器上不下"},
        {u"カードの設定を上書き", u8"カードの設定を上書き"},
        {u"카드설정", u8"카드설정"},
        {u"Настройки считывателя", u8"Настройки считывателя"},
        {u"Ρυθμίσεις", u8"Ρυθμίσεις"},
        {u"إعدادات القارئ", u8"إعدادات القارئ"},
        {u"הגדרות", u8"הגדרות"},
        {u"सेटिंग्स", u8"सेटिंग्स"},
        {u"ਮਰਦ ਪੰਜਾਬੀ", u8"ਮਰਦ ਪੰਜਾਬੀ"},
        {u"ગુજરાતી", u8"ગુજરાતી"},
        {u"മലയാളംഊ", u8"മലയാളംഊ"},
        {u"การตั้งค่า", u8"การตั้งค่า"},
        {u"→✓①€", u8"→✓①€"},
        {u"🔑🐀𐀀👨‍👩‍👧", u8"🔑🐀𐀀👨‍👩‍👧"},
    };
    for (const Sample& sample : samples) {
        // Every prefix, so that each unit in turn is the last one of the file.
        for (size_t units = 1; units <= sample.utf16.size(); ++units) {
            const std::u16string_view part = sample.utf16.substr(0, units);
            for (const std::u16string_view lineEnd : {u"", u"\r\n"}) {
                const std::u16string text =
                    u"[general]\r\n; " + std::u16string(part) + std::u16string(lineEnd);
                for (bool bigEndian : {false, true}) {
                    std::string bytes = utf16(text, bigEndian);
                    EXPECT_EQ(decodeConfigText(bytes), FileStatus::Read)
                        << utf8(sample.utf8) << ' ' << units << ' ' << bigEndian;
                }
            }
        }
        const std::u16string whole = u"; " + std::u16string(sample.utf16) + u"\r\n";
        std::string bytes = utf16(whole, false);
        ASSERT_EQ(decodeConfigText(bytes), FileStatus::Read);
        EXPECT_EQ(bytes, "; " + utf8(sample.utf8) + "\r\n");
    }
}

// Lines a batch file appends with `echo ... >>` after what PowerShell 5 saved, and 8-bit files
// that happen to start with the mark ("ÿþ" in cp1252): the 8-bit part must not be read as UTF-16.
TEST(DecodeConfigText, EightBitTextAfterTheMarkIsMixed) {
    const std::u16string saved = u"[general]\r\nopt = 01\r\n";
    struct Case {
        const char* name;
        std::u16string_view utf16;
        std::string eightBit;
        FileStatus status;
    };
    const Case cases[] = {
        {"echo, odd", saved, "opt = 021\r\n", FileStatus::Mixed},
        {"echo, even", saved, "opt = 02\r\n", FileStatus::Mixed},
        {"two lines", saved, "[rckeys]\r\na0 = 112233445566\r\n", FileStatus::Mixed},
        {"echo. (an empty line)", saved, "\r\n", FileStatus::Mixed},
        {"after a line without its end", u"opt = 01 ; 设置", "opt = 02\r\n", FileStatus::Mixed},
        {"cp1252 letters", saved, "; caf\xE9 \x80\r\n", FileStatus::Mixed},
        {"UTF-8 letters", saved, "; caf\xC3\xA9\r\n", FileStatus::Mixed},
        {"LF only, odd", saved, "opt = 02\n", FileStatus::Mixed},
        {"LF only, even", saved, "opt = 021\n", FileStatus::Mixed},
        {"no line end, odd", saved, "opt = 021", FileStatus::Mixed},
        {"a lone byte: a unit cut in two", saved, "\n", FileStatus::NotText},
    };
    for (const Case& c : cases) {
        for (bool bigEndian : {false, true}) {
            std::string bytes = utf16(c.utf16, bigEndian) + c.eightBit;
            const std::string before = bytes;
            EXPECT_EQ(decodeConfigText(bytes), c.status) << c.name << ' ' << bigEndian;
            EXPECT_EQ(bytes, before) << c.name;
        }
    }

    const std::string cp1252[] = {
        "\xFF\xFE\r\n[general]\r\nopt = 01\r\n",
        "\xFF\xFE; \xE9t\xE9\n[general]\nopt = 01\n",
        "\xFF\xFE[general]",
        "\xFF\xFE; \xE9t\xE9\nopt = 01",
    };
    for (const std::string& file : cp1252) {
        std::string bytes = file;
        EXPECT_EQ(decodeConfigText(bytes), FileStatus::Mixed) << file;
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
    EXPECT_FALSE(usableAsText(FileText{FileStatus::Mixed, "", ""}, "f.ini"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Failed to read file 'c.ini' : larger than 16 MiB\n"
              "Failed to read file 'd.ini' : not a text file\n"
              "Failed to read file 'e.ini' : Access is denied\n"
              "Failed to read file 'f.ini' : mixes two encodings (UTF-16, then 8-bit text); "
              "save it as UTF-8 before appending to it\n");
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
