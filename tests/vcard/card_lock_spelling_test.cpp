// One card, one lock: a card file reached through another spelling of its path, or through a
// hard link, is the card another connection holds; its lock file and its stray copies go by the
// file, not by what was typed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/file_identity.h"
#include "platform/path_names.h"
#include "support/card_files.h"
#include "support/path_spellings.h"
#include "support/temp_dir.h"
#include "vcard/card_connection.h"
#include "vcard/card_file.h"

namespace zendor::vcard {
namespace {

using test::reachable;
using test::Spelling;

// Factory settings 0F let anyone create an application: AID 5A4D43, key settings EF, one key.
const std::vector<uint8_t> kCreateApplication{0x90, 0xCA, 0x00, 0x00, 0x05, 0x43,
                                              0x4D, 0x5A, 0xEF, 0x01, 0x00};

std::set<std::string> entriesOf(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(reachable(folder))) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

CardConnection::OpenStatus statusOf(const std::string& path) {
    return CardConnection::open(path).status;
}

// Each spelling against the path as made, both ways round; a save goes through the spelling, and
// a copy a killed save left under the card's own name is cleaned through it. Nothing is left
// beside the card under a name of the spelling.
void checkOneLock(const std::string& path, const std::vector<Spelling>& spellings, bool exists) {
    const std::string folder = platform::folderOf(path);
    const std::string strayCopy = temporaryPrefixOf(platform::canonicalPath(path)) + "Ab12Cd";
    const std::set<std::string> before = entriesOf(folder);
    for (const Spelling& s : spellings) {
        {
            CardConnection::OpenResult first = CardConnection::open(path);
            ASSERT_EQ(first.status, CardConnection::OpenStatus::Ok) << first.error;
            EXPECT_EQ(statusOf(s.path), CardConnection::OpenStatus::Busy)
                << s.what << ": " << s.path;
        }
        // A hard link is a card file of its own name: its copies are named from it.
        const bool copyOfThisName = exists && !s.ownName;
        if (copyOfThisName) {
            test::writeCard(reachable(strayCopy), test::knownDesfire());
        }
        {
            CardConnection::OpenResult first = CardConnection::open(s.path);
            ASSERT_EQ(first.status, CardConnection::OpenStatus::Ok)
                << s.what << ": " << first.error;
            EXPECT_EQ(statusOf(path), CardConnection::OpenStatus::Busy) << s.what << ": " << s.path;
            if (exists) {
                std::vector<uint8_t> response;
                EXPECT_EQ(first.connection->transmit(kCreateApplication, response),
                          CardConnection::TransmitStatus::Ok)
                    << s.what << ": " << first.connection->lastError();
                // After the save the file is still the connection's.
                EXPECT_EQ(statusOf(s.path), CardConnection::OpenStatus::Busy) << s.what;
            }
        }
        EXPECT_EQ(entriesOf(folder), before) << s.what << ": " << s.path;
    }
}

TEST(CardLockSpellings, EverySpellingOfACardIsHeldByItsConnection) {
    test::TempDir dir;
    for (const std::string& folder :
         {dir.path().string(), test::makeLongFolder(dir.file("long"))}) {
        const std::string path = platform::pathIn(folder, "card-file.json");
        test::writeCard(reachable(path), test::knownDesfire());
        SCOPED_TRACE(folder.size());
        checkOneLock(path, test::spellingsOf(path, true), true);
        EXPECT_EQ(readCardFile(path).card->applications.size(), 1u);

        // A card not made yet is locked by the name it will have.
        const std::string missing = platform::pathIn(folder, "new-file.json");
        checkOneLock(missing, test::spellingsOf(missing, false), false);
        EXPECT_EQ(readCardFile(missing).status, ReadStatus::Missing);
    }
}

#ifndef _WIN32
// A save puts a new file in the card's place; a hard link made to it afterwards is still the
// held card. (On Windows the card file is held only while it has a second name, and a save
// replaces the name it went through, which leaves the link on a file of its own.)
TEST(CardLockSpellings, AHardLinkToTheSavedFileIsHeldToo) {
    test::TempDir dir;
    const std::string path = dir.file("card.json");
    test::writeCard(path, test::knownDesfire());
    CardConnection::OpenResult first = CardConnection::open(path);
    ASSERT_EQ(first.status, CardConnection::OpenStatus::Ok) << first.error;
    std::vector<uint8_t> response;
    ASSERT_EQ(first.connection->transmit(kCreateApplication, response),
              CardConnection::TransmitStatus::Ok);
    std::filesystem::create_hard_link(path, dir.file("later.json"));
    EXPECT_EQ(statusOf(dir.file("later.json")), CardConnection::OpenStatus::Busy);
}
#endif

}  // namespace
}  // namespace zendor::vcard
