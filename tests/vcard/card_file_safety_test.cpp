// A card file holds the card's keys: who may read it, what a killed save leaves, links, lock
// files planted or left behind by another account, and folders this user may not write.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "support/card_files.h"
#include "support/temp_dir.h"
#include "vcard/card_connection.h"
#include "vcard/card_file.h"

namespace zendor::vcard {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Factory settings 0F let anyone create an application: AID 5A4D43, key settings EF, one key.
const std::vector<uint8_t> kCreateApplication{0x90, 0xCA, 0x00, 0x00, 0x05, 0x43,
                                              0x4D, 0x5A, 0xEF, 0x01, 0x00};
const std::vector<uint8_t> kGetApplicationIds{0x90, 0x6A, 0x00, 0x00, 0x00};
constexpr uid_t kNobody = 65534;

unsigned permissionsOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Opens the card at path, sends one command and returns what became of it.
CardConnection::TransmitStatus openAndSend(const std::string& path,
                                           const std::vector<uint8_t>& command) {
    CardConnection::OpenResult opened = CardConnection::open(path);
    EXPECT_EQ(opened.status, CardConnection::OpenStatus::Ok) << opened.error;
    if (!opened.connection) {
        return CardConnection::TransmitStatus::NoAnswer;
    }
    std::vector<uint8_t> response;
    return opened.connection->transmit(command, response);
}

// Runs check as the account nobody in a child process; its exit status says whether each
// expectation held (the child has no test framework of its own to report to).
void asNobody(const std::function<bool()>& check) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && check();
        std::fflush(stdout);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(CardFileSafety, NewFilesAreTheOwnersAloneAndASaveKeepsWhatTheFileAllowed) {
    for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{0}}) {
        mode_t before = ::umask(mask);
        TempDir dir;
        std::string written = dir.file("written.json");
        std::string error;
        ASSERT_TRUE(writeCardFile(written, test::knownDesfire(), error)) << error;
        EXPECT_EQ(permissionsOf(written), 0600u) << "umask " << mask;

        std::string made = dir.file("made.json");
        EXPECT_EQ(openAndSend(made, kCreateApplication), CardConnection::TransmitStatus::Ok);
        EXPECT_EQ(permissionsOf(made), 0600u) << "umask " << mask;

        ::chmod(made.c_str(), 0640);
        EXPECT_EQ(openAndSend(made, kCreateApplication), CardConnection::TransmitStatus::Ok);
        EXPECT_EQ(permissionsOf(made), 0640u) << "a save keeps the file's permissions";
        ::umask(before);
    }
}

TEST(CardFileSafety, ASaveByRootKeepsTheOwner) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a file to another account";
    }
    TempDir dir;
    std::string path = dir.file("card.json");
    test::writeCard(path, test::knownDesfire());
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(openAndSend(path, kCreateApplication), CardConnection::TransmitStatus::Ok);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kNobody);
    EXPECT_EQ(info.st_gid, kNobody);
}

// A save killed between its temporary copy and the rename leaves the copy; the next holder of
// the lock removes it. Copies of another card stay; copies of the earlier naming go once old.
TEST(CardFileSafety, AKilledSaveLeavesNoCopyBehindAfterTheNextRun) {
    TempDir dir;
    std::string path = dir.file("card.json");
    test::writeCard(path, test::knownDesfire());
    std::string ownCopy = temporaryPrefixOf(path) + "Ab12Cd";
    std::string otherCardsCopy = temporaryPrefixOf(dir.file("other.json")) + "Ab12Cd";
    std::string oldCopy = dir.file(".zendor-card-Xy34Zw");
    std::string recentOldCopy = dir.file(".zendor-card-Qr56St");
    for (const std::string& copy : {ownCopy, otherCardsCopy, oldCopy, recentOldCopy}) {
        test::writeCard(copy, test::knownDesfire());
    }
    fs::last_write_time(oldCopy, fs::file_time_type::clock::now() - std::chrono::hours(1));

    EXPECT_EQ(openAndSend(path, kGetApplicationIds), CardConnection::TransmitStatus::Ok);
    EXPECT_FALSE(fs::exists(ownCopy));
    EXPECT_FALSE(fs::exists(oldCopy));
    EXPECT_TRUE(fs::exists(otherCardsCopy));
    EXPECT_TRUE(fs::exists(recentOldCopy)) << "it may be a save under way";
}

TEST(CardFileSafety, AReadingNeverCreatesTheFile) {
    TempDir dir;
    std::string path = dir.file("typo.json");
    EXPECT_EQ(openAndSend(path, kGetApplicationIds), CardConnection::TransmitStatus::Ok);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(openAndSend(path, kCreateApplication), CardConnection::TransmitStatus::Ok);
    ReadResult made = readCardFile(path);
    ASSERT_EQ(made.status, ReadStatus::Ok) << made.error;
    EXPECT_EQ(made.card->applications.size(), 1u);
}

// Through a link the card is its target's: read, locked and saved there, the link kept. A link
// to a missing file makes the card at the link's target.
TEST(CardFileSafety, ALinkStandsForTheFileItPointsTo) {
    TempDir dir;
    fs::create_directory(dir.path() / "real");
    std::string real = dir.file("real/card.json");
    std::string link = dir.file("link.json");
    test::writeCard(real, test::knownDesfire());
    fs::create_symlink("real/card.json", link);

    {
        CardConnection::OpenResult viaLink = CardConnection::open(link);
        ASSERT_EQ(viaLink.status, CardConnection::OpenStatus::Ok) << viaLink.error;
        EXPECT_EQ(CardConnection::open(real).status, CardConnection::OpenStatus::Busy);
        std::vector<uint8_t> response;
        EXPECT_EQ(viaLink.connection->transmit(kCreateApplication, response),
                  CardConnection::TransmitStatus::Ok);
    }
    {
        CardConnection::OpenResult viaReal = CardConnection::open(real);
        ASSERT_EQ(viaReal.status, CardConnection::OpenStatus::Ok) << viaReal.error;
        EXPECT_EQ(CardConnection::open(link).status, CardConnection::OpenStatus::Busy);
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readCardFile(real).card->applications.size(), 1u);

    std::string dangling = dir.file("new-link.json");
    fs::create_symlink("real/new.json", dangling);
    EXPECT_EQ(openAndSend(dangling, kCreateApplication), CardConnection::TransmitStatus::Ok);
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(readCardFile(dir.file("real/new.json")).status, ReadStatus::Ok);
}

TEST(CardFileSafety, APlantedLockLinkIsRefusedAndNothingIsMadeAtItsTarget) {
    TempDir dir;
    std::string path = dir.file("card.json");
    test::writeCard(path, test::knownDesfire());
    std::string victim = dir.file("victim");
    fs::create_symlink(victim, path + ".lock");
    CardConnection::OpenResult opened = CardConnection::open(path);
    EXPECT_EQ(opened.status, CardConnection::OpenStatus::IoError);
    EXPECT_EQ(opened.error, "its lock file '" + path + ".lock' is a symbolic link");
    EXPECT_FALSE(fs::exists(victim));
    EXPECT_TRUE(fs::is_symlink(path + ".lock"));
}

TEST(CardFileSafety, ALongestNameStillHasALockAndCopies) {
    TempDir dir;
    std::string path = dir.file(std::string(250, 'c') + ".json");
    test::writeCard(path, test::knownDesfire());
    CardConnection::OpenResult opened = CardConnection::open(path);
    ASSERT_EQ(opened.status, CardConnection::OpenStatus::Ok) << opened.error;
    EXPECT_EQ(CardConnection::open(path).status, CardConnection::OpenStatus::Busy);
    std::vector<uint8_t> response;
    EXPECT_EQ(opened.connection->transmit(kCreateApplication, response),
              CardConnection::TransmitStatus::Ok)
        << opened.connection->lastError();
}

TEST(CardFileSafety, AFileThatCannotBeUsedIsNamedWithTheSystemsReason) {
    TempDir dir;
    CardConnection::OpenResult opened = CardConnection::open(dir.file("missing/card.json"));
    EXPECT_EQ(opened.status, CardConnection::OpenStatus::IoError);
    EXPECT_EQ(opened.error, "cannot create its lock file '" + dir.file("missing/card.json.lock") +
                                "': No such file or directory");
}

// Another account's killed run left its lock file (not writable by this user) in a shared
// folder; a card in a folder this user may not write is still read.
TEST(CardFileSafety, AnotherAccountsLockFileAndAReadOnlyFolder) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as two accounts";
    }
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    fs::create_directory(dir.path() / "shared");
    std::string shared = dir.file("shared");
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    std::string card = dir.file("shared/card.json");
    test::writeCard(card, test::knownDesfire());
    ASSERT_EQ(::chown(card.c_str(), kNobody, kNobody), 0);
    constexpr uid_t kDaemon = 1;
    test::writeFile(card + ".lock", "");
    ASSERT_EQ(::chmod((card + ".lock").c_str(), 0644), 0);
    ASSERT_EQ(::chown((card + ".lock").c_str(), kDaemon, kDaemon), 0);

    fs::create_directory(dir.path() / "closed");
    std::string closed = dir.file("closed/card.json");
    test::writeCard(closed, test::knownDesfire());
    ASSERT_EQ(::chmod(closed.c_str(), 0644), 0);

    asNobody([&] {
        CardConnection::OpenResult stale = CardConnection::open(card);
        bool savedThroughStaleLock = stale.status == CardConnection::OpenStatus::Ok && [&] {
            std::vector<uint8_t> response;
            return stale.connection->transmit(kCreateApplication, response) ==
                   CardConnection::TransmitStatus::Ok;
        }() && CardConnection::open(card).status == CardConnection::OpenStatus::Busy;
        stale.connection.reset();
        CardConnection::OpenResult readOnly = CardConnection::open(closed);
        bool readInClosedFolder = readOnly.status == CardConnection::OpenStatus::Ok;
        if (!savedThroughStaleLock || !readInClosedFolder) {
            std::printf("stale lock: %s / closed folder: %s\n", stale.error.c_str(),
                        readOnly.error.c_str());
        }
        return savedThroughStaleLock && readInClosedFolder;
    });
    EXPECT_EQ(readCardFile(card).card->applications.size(), 1u);
    EXPECT_FALSE(fs::exists(closed + ".lock"));
}

}  // namespace
}  // namespace zendor::vcard
