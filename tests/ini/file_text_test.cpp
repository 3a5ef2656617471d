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

const std::string kAwkwardBytes = std::string("[master]\r\nloc = 0A\0 NUL\n\xFF\xFE;x", 27);

TEST(ReadFileText, RegularFilesExactlyAndAtTheLimit) {
    struct Case {
        const char* name;
        std::string text;
        FileStatus status;
    };
    const Case cases[] = {
        {"empty", "", FileStatus::Read},
        {"awkward bytes", kAwkwardBytes, FileStatus::Read},
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

TEST(WithinSizeLimit, OneLineForAFileTooLarge) {
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(withinSizeLimit(FileText{FileStatus::Read, "x"}, "a.ini"));
    EXPECT_TRUE(withinSizeLimit(FileText{FileStatus::Unreadable, ""}, "b.ini"));
    EXPECT_FALSE(withinSizeLimit(FileText{FileStatus::TooLarge, ""}, "c.ini"));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Failed to read file 'c.ini' : larger than 16 MiB\n");
}

}  // namespace
}  // namespace zendor::ini
