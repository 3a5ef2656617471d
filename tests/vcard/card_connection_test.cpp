// One connection to a card file: a change is saved only over the file as the connection last
// saw it, and a change that cannot be saved never happened.
#include "vcard/card_connection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "support/card_files.h"
#include "support/temp_dir.h"

namespace zendor::vcard {
namespace {

// Factory settings 0F let anyone create an application: AID 5A4D43, key settings EF, one key.
const std::vector<uint8_t> kCreateApplication{0x90, 0xCA, 0x00, 0x00, 0x05, 0x43,
                                              0x4D, 0x5A, 0xEF, 0x01, 0x00};
const std::vector<uint8_t> kGetApplicationIds{0x90, 0x6A, 0x00, 0x00, 0x00};

TEST(CardConnection, AChangeTheFileCannotTakeNeverHappens) {
    CardState other = test::knownDesfire();
    other.uid[6] ^= 0x01;
    const struct {
        const char* name;
        std::function<void(const std::string&)> meanwhile;
        std::string error;
        CardState fileAfter;
    } cases[] = {
        {"another program rewrote the file",
         [&](const std::string& path) { test::writeCard(path, other); },
         "another program changed it since it was read", other},
        {"another program removed the file",
         [&](const std::string& path) { std::filesystem::remove(path); },
         "another program changed it since it was read", CardState{}},
        {"the file is write-protected",
         [](const std::string& path) { ::chmod(path.c_str(), 0444); }, "it is read-only",
         test::knownDesfire()},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const std::string path = dir.file("card.json");
        test::writeCard(path, test::knownDesfire());
        CardConnection::OpenResult opened = CardConnection::open(path);
        ASSERT_EQ(opened.status, CardConnection::OpenStatus::Ok) << opened.error;
        CardConnection& connection = *opened.connection;

        c.meanwhile(path);
        std::vector<uint8_t> response;
        EXPECT_EQ(connection.transmit(kCreateApplication, response),
                  CardConnection::TransmitStatus::SaveFailed)
            << c.name;
        EXPECT_EQ(connection.lastError(), c.error) << c.name;
        EXPECT_TRUE(connection.card().applications.empty()) << c.name;
        ReadResult file = readCardFile(path);
        if (file.status == ReadStatus::Ok) {
            EXPECT_EQ(*file.card, c.fileAfter) << c.name << ": the file is left as it is";
        } else {
            EXPECT_EQ(file.status, ReadStatus::Missing) << c.name;
        }
        // The card goes on from its saved state.
        EXPECT_EQ(connection.transmit(kGetApplicationIds, response),
                  CardConnection::TransmitStatus::Ok);
        EXPECT_EQ(response, (std::vector<uint8_t>{0x91, 0x00})) << c.name;
    }
}

}  // namespace
}  // namespace zendor::vcard
