// Hostile card files just under the size cap: each loads or is refused in bounded memory,
// measured in a child process so that the figure is the load's alone. (How long the largest card
// takes to load is the benchmark's to measure: zendor_bench --large-card.)
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "support/card_files.h"
#include "support/temp_dir.h"
#include "vcard/card_file.h"
#include "vcard/card_json.h"

namespace zendor::vcard {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMeasured = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMeasured = false;
#else
constexpr bool kMeasured = true;
#endif
#else
constexpr bool kMeasured = true;
#endif

constexpr long kMaxPeakKilobytes = 64 * 1024;
constexpr size_t kFileSize = kMaxCardFileSize - 64;
// A hostile file is read whole, then refused by passes that keep next to nothing: its load may
// take the file's own size and a few MiB of the process, not a copy of what the file holds (a
// string as long as the file, copied by the parser, would double it).
constexpr long kMaxHostilePeakKilobytes = static_cast<long>(kFileSize / 1024) + 8 * 1024;

// Writes head, then body repeated up to about kFileSize, then tail, without holding it all.
void writeHostile(const std::string& path, const std::string& head, const std::string& body,
                  const std::string& tail) {
    std::ofstream out(path, std::ios::binary);
    out << head;
    std::string chunk;
    while (chunk.size() < 65536) {
        chunk += body;
    }
    size_t written = head.size();
    while (written + chunk.size() + tail.size() <= kFileSize) {
        out << chunk;
        written += chunk.size();
    }
    while (written + body.size() + tail.size() <= kFileSize) {
        out << body;
        written += body.size();
    }
    out << tail;
}

struct Load {
    int exitCode = -1;
    long peakKilobytes = 0;
};

// Loads path in a child: exit 0 when the result is the one expected.
Load loadInChild(const std::string& path, const std::function<bool(const ReadResult&)>& expected) {
    pid_t child = ::fork();
    if (child == 0) {
        ReadResult read = readCardFile(path);
        if (!expected(read)) {
            std::printf("unexpected: %s\n", read.error.c_str());
            std::fflush(stdout);
            ::_exit(1);
        }
        ::_exit(0);
    }
    Load load;
    int status = 0;
    rusage usage{};
    if (child > 0 && ::wait4(child, &status, 0, &usage) == child && WIFEXITED(status)) {
        load.exitCode = WEXITSTATUS(status);
        load.peakKilobytes = usage.ru_maxrss;
    }
    return load;
}

CardState largestCard() {
    CardState card = test::knownDesfire();
    for (uint32_t aid = 1; card.applications.size() < kMaxApplications; ++aid) {
        Application app{aid, 0x0F, std::vector<Key>(kMaxKeysPerApplication), {}};
        for (uint8_t no = 0; no <= kMaxFileNo; ++no) {
            app.files.push_back({no, kStandardDataFile, kCommPlain, 0xEEEE,
                                 std::vector<uint8_t>(kMaxFileSize, 0xA5)});
        }
        card.applications.push_back(std::move(app));
    }
    return card;
}

TEST(CardJsonBounds, HostileFilesUnderTheCapAreRefusedInBoundedMemory) {
    const std::string card = "{\"uid\": \"04112233445566\", \"atqa\": \"4403\", ";
    const struct {
        const char* name;
        std::string head, body, tail;
        std::string error;
    } cases[] = {
        {"nested arrays", "", "[", "", "nested deeper than a card file"},
        {"empty objects as applications", card + "\"applications\": [", "{}, ", "{}]}",
         "an array longer than any in a card file"},
        {"members without end", "{", "\"m\": 0, ", "\"n\": 0}", "member 'm' appears twice"},
        {"one long string", card + "\"piccKey\": \"", "00", "\"}",
         "a string longer than any in a card file"},
        {"one long number", card + "\"freeMemory\": ", "1", "}",
         "a number longer than any in a card file"},
        {"many keys", card + "\"applications\": [{\"keys\": [", "\"00\", ", "\"00\"]}]}",
         "an array longer than any in a card file"},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        std::string path = dir.file("hostile.json");
        writeHostile(path, c.head, c.body, c.tail);
        Load load = loadInChild(path, [&](const ReadResult& read) {
            return read.status == ReadStatus::Invalid && read.error == c.error;
        });
        EXPECT_EQ(load.exitCode, 0) << c.name;
        if (kMeasured) {
            EXPECT_LT(load.peakKilobytes, kMaxHostilePeakKilobytes) << c.name;
        }
        std::printf("%s: peak %ld KB\n", c.name, load.peakKilobytes);
    }
}

// Whatever a card does, its file loads again: the largest card the format allows fits under the
// cap and loads within the same bounds.
TEST(CardJsonBounds, TheLargestCardLoadsWithinTheBounds) {
    test::TempDir dir;
    std::string path = dir.file("largest.json");
    std::string error;
    {
        CardState card = largestCard();
        ASSERT_TRUE(writeCardFile(path, card, error)) << error;
    }
    Load load = loadInChild(path, [](const ReadResult& read) {
        return read.status == ReadStatus::Ok && *read.card == largestCard();
    });
    EXPECT_EQ(load.exitCode, 0);
    if (kMeasured) {
        EXPECT_LT(load.peakKilobytes, kMaxPeakKilobytes);
    }
    std::printf("largest card: peak %ld KB\n", load.peakKilobytes);
}

TEST(CardJsonBounds, RefusesMoreMemoryThanACardHas) {
    std::string good = formatCardJson(test::knownDesfire());
    const struct {
        std::string from, to, error;
    } cases[] = {
        {"\"freeMemory\": 7936", "\"freeMemory\": 4294967295", "freeMemory: must be at most 7936"},
        {"\"freeMemory\": 7936", "\"freeMemory\": 7937", "freeMemory: must be at most 7936"},
        {"\"applications\": []",
         "\"applications\": [{\"aid\": \"010203\", \"keySettings\": \"0F\", \"keys\": [\"" +
             std::string(32, '0') +
             "\"], \"files\": [{\"fileNo\": 1, \"type\": 0, \"comm\": 0, \"accessRights\": "
             "\"EEEE\", \"size\": 7937, \"data\": \"\"}]}]",
         "applications[0].files[0].size: must be at most 7936"},
        {"\"uid\": \"04112233445566\"", "\"uid\": \"04112233445566\", \"uid\": \"04112233445566\"",
         "member 'uid' appears twice"},
    };
    for (const auto& c : cases) {
        std::string text = good;
        size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, c.from.size(), c.to);
        std::string error;
        EXPECT_FALSE(parseCardJson(text, error)) << c.to;
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
}  // namespace zendor::vcard
