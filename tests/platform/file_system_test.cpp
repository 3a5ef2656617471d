// The file seam, held to the same table on both systems: read limits, atomic replacement, what a
// new file may be read by, locks, links and faults. What only one system has (modes and owners,
// attributes, access lists, other programs holding a file open) is tested where it exists.
#include "platform/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/file_identity.h"
#include "platform/file_stream.h"
#ifdef _WIN32
#include "platform/held_open.h"
#endif
#include "platform/path_names.h"
#include "platform/whole_write.h"
#include "support/path_spellings.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>
#include <io.h>
#include <sddl.h>
#else
#include <unistd.h>
#endif

namespace zendor::platform {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// A complete temporary copy holding text, closed, as a save leaves it before putting it in place.
std::string closedCopy(const TempDir& dir, const std::string& text) {
    FileHandle file;
    std::string name;
    EXPECT_TRUE(createTemporaryFile(dir.path().string(), ".copy-", file, name));
    EXPECT_TRUE(writeAll(file, text));
    EXPECT_TRUE(syncFile(file));
    EXPECT_TRUE(file.close());
    return name;
}

TEST(FileSystem, ReadsWholeFilesWithinTheirLimitAndTellsWhyNot) {
    TempDir dir;
    writeFile(dir.file("sixteen"), "0123456789abcdef");
    std::filesystem::create_directory(dir.file("folder"));
    std::error_code noLinks;
    std::filesystem::create_symlink(dir.file("sixteen"), dir.file("link"), noLinks);
    const struct {
        const char* name;
        uint64_t maxSize;
        Fault fault;
        std::string text;  // the whole file, or our own reason; the system's reasons vary
    } cases[] = {
        {"sixteen", 16, Fault::None, "0123456789abcdef"},
        {"sixteen", 15, Fault::TooLarge, "too large"},
        {"missing", 16, Fault::Missing, ""},
        {"folder", 16, Fault::NotRegular, "is a directory"},
        {"link", 16, Fault::Link, ""},
    };
    for (const auto& c : cases) {
        if (std::string_view(c.name) == "link" && noLinks) {
            continue;  // no right to make links here (Windows without developer mode)
        }
        std::string text = "left over";
        Outcome read = readWholeFile(dir.file(c.name), c.maxSize, text);
        EXPECT_EQ(read.fault, c.fault) << c.name << ": " << read.text;
        if (c.fault == Fault::None) {
            EXPECT_EQ(text, c.text) << c.name;
        } else {
            EXPECT_TRUE(text.empty()) << c.name;
            EXPECT_EQ(read.text, c.text.empty() ? read.text : c.text) << c.name;
            EXPECT_FALSE(read.text.empty()) << c.name;
        }
    }
}

TEST(FileSystem, PutsACopyInPlaceWholeOrNotAtAll) {
    TempDir dir;
    const std::string card = dir.file("card.json");

    // A new file only where there is none; a refused copy stays for the caller to remove.
    ASSERT_TRUE(placeNewFile(closedCopy(dir, "first"), card));
    const std::string late = closedCopy(dir, "late");
    EXPECT_FALSE(placeNewFile(late, card));
    EXPECT_EQ(readFile(card), "first");
    EXPECT_TRUE(removeFile(late));

    // A replacement takes the name and leaves nothing else behind.
    ASSERT_TRUE(replaceFile(closedCopy(dir, "second"), card));
    EXPECT_EQ(readFile(card), "second");
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename(), "card.json");
        ++entries;
    }
    EXPECT_EQ(entries, 1u);

    EXPECT_EQ(removeFile(dir.file("gone")).fault, Fault::Missing);
}

TEST(FileSystem, OneLockPerFileAcrossHandles) {
    TempDir dir;
    const std::string lock = dir.file("card.json.lock");
    FileHandle first;
    FileHandle second;
    ASSERT_TRUE(openLockFile(lock, first));
    ASSERT_TRUE(openLockFile(lock, second));
    EXPECT_TRUE(tryLock(first));
    EXPECT_EQ(tryLock(second).fault, Fault::Busy);
    EXPECT_TRUE(stillNamed(second, lock));
    // A locked file still reads through another handle.
    std::string text;
    EXPECT_TRUE(readWholeFile(lock, 16, text));
    EXPECT_TRUE(first.close());
    EXPECT_TRUE(tryLock(second));

    FileHandle none;
    EXPECT_EQ(openLockFile(dir.file("missing/card.json.lock"), none).fault, Fault::Missing);
}

// What an entry is, where its links lead, how many names it has and whether a handle still
// has its name after a replace; where the systems differ, the seam's declarations say so.
TEST(FileSystem, KindsLinksNamesAndHandlesOfEveryEntry) {
    TempDir dir;
    const std::string card = dir.file("card.json");
    const std::string folder = dir.file("folder");
    writeFile(card, "card");
    std::filesystem::create_directory(folder);
    const struct {
        std::string path;
        EntryKind kind;
        uint32_t names;
    } entries[] = {
        {card, EntryKind::Regular, 1},
        {folder, EntryKind::Directory, 0},  // a folder's names are not counted alike
        {dir.file("missing"), EntryKind::Missing, 0},
    };
    for (const auto& e : entries) {
        FileInfo info;
        EXPECT_TRUE(inspect(e.path, info)) << e.path;
        EXPECT_EQ(info.kind, e.kind) << e.path;
        std::string target;
        EXPECT_TRUE(followLinks(e.path, target)) << e.path;
        EXPECT_EQ(target, e.path) << "no link: the path itself";
        if (e.kind != EntryKind::Directory) {
            EXPECT_EQ(nameCount(e.path), e.names) << e.path;
        }
    }
    std::filesystem::create_hard_link(card, dir.file("second-name.json"));
    EXPECT_EQ(nameCount(card), 2u);

    FileHandle folderHandle;
    const Outcome openedFolder = openForReading(folder, folderHandle);
#ifdef _WIN32
    EXPECT_EQ(openedFolder.fault, Fault::NotRegular) << openedFolder.text;
#else
    EXPECT_TRUE(openedFolder) << openedFolder.text;
#endif

    // A replace gives the name to another file: the old one's handle no longer has it.
    FileHandle old;
    ASSERT_TRUE(openForReading(card, old));
    EXPECT_TRUE(stillNamed(old, card));
    ASSERT_TRUE(old.close());
    ASSERT_TRUE(openForReading(card, old));
    ASSERT_TRUE(replaceFile(closedCopy(dir, "new"), card));
    EXPECT_FALSE(stillNamed(old, card));
    FileHandle current;
    ASSERT_TRUE(openForReading(card, current));
    EXPECT_TRUE(stillNamed(current, card));

    // Links, where this account may make them: followed to their end, which need not exist on
    // POSIX; Windows asks the system for the end, and a link to nothing fails there.
    std::error_code noLinks;
    std::filesystem::create_symlink(card, dir.file("link"), noLinks);
    if (noLinks) {
        return;
    }
    std::filesystem::create_symlink(dir.file("nothing"), dir.file("dangling"));
    FileInfo info;
    EXPECT_TRUE(inspect(dir.file("link"), info));
    EXPECT_EQ(info.kind, EntryKind::Link);
    std::string target;
    EXPECT_TRUE(followLinks(dir.file("link"), target));
    EXPECT_TRUE(std::filesystem::equivalent(target, card)) << target;
    const Outcome dangling = followLinks(dir.file("dangling"), target);
#ifdef _WIN32
    EXPECT_FALSE(dangling);
#else
    EXPECT_TRUE(dangling) << dangling.text;
    EXPECT_EQ(target, dir.file("nothing"));
#endif
}

// In a short folder and in one past 260 characters, which only the wide calls reach on Windows.
TEST(FileSystem, ListsAFolderAndTellsWhenEachEntryChanged) {
    TempDir dir;
    TempDir longDir;
    for (const std::string& folder :
         {dir.path().string(), test::makeLongFolder(longDir.file("long"))}) {
        writeFile(test::reachable(pathIn(folder, "card.json")), "card");
        writeFile(test::reachable(pathIn(folder, ".card.json.zendor-Ab12Cd")), "copy");
        std::filesystem::create_directory(test::reachable(pathIn(folder, "sub")));
        std::vector<std::string> names = {"left over"};
        ASSERT_TRUE(listFolder(folder, names)) << folder;
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{".card.json.zendor-Ab12Cd", "card.json", "sub"}))
            << folder;

        // An hour back, as a copy a killed save left: the time must come out on the system clock.
        const std::string copy = pathIn(folder, ".card.json.zendor-Ab12Cd");
        const auto systemNow = std::chrono::system_clock::now();
        std::filesystem::last_write_time(
            test::reachable(copy),
            std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        for (const auto& [path, age] :
             {std::pair{pathIn(folder, "card.json"), std::chrono::minutes(0)},
              std::pair{copy, std::chrono::minutes(60)}}) {
            FileInfo info;
            ASSERT_TRUE(inspect(path, info)) << path;
            const auto off = std::chrono::abs(systemNow - info.modified - age);
            EXPECT_LT(off, std::chrono::minutes(2)) << path;
        }
    }
    std::vector<std::string> names = {"left over"};
    EXPECT_EQ(listFolder(dir.file("missing"), names).fault, Fault::Missing);
    EXPECT_TRUE(names.empty());
}

// A C stream (a file, a pipe) and an open file whose size was told short, as one that grows while
// it is read: all end at the same limit.
TEST(FileSystem, ReadsToTheEndWithinTheLimitWhateverTheSource) {
    TempDir dir;
    std::string content(10000, 'x');
    content[0] = 'a';
    content.back() = 'z';
    writeFile(dir.file("input"), content);
    const auto fromFileStream = [&](uint64_t maxSize, std::string& text) {
        std::FILE* stream = openStream(dir.file("input").c_str(), "rb");
        EXPECT_NE(stream, nullptr);
        Outcome read = readStreamToEnd(stream, maxSize, text);
        std::fclose(stream);
        return read;
    };
    const auto fromPipe = [&](uint64_t maxSize, std::string& text) {
        int ends[2] = {-1, -1};
#ifdef _WIN32
        EXPECT_EQ(_pipe(ends, 65536, _O_BINARY), 0);
#else
        EXPECT_EQ(::pipe(ends), 0);
#endif
        // Within the pipe's buffer, so the write needs no reader yet.
        EXPECT_EQ(write(ends[1], content.data(), static_cast<unsigned>(content.size())),
                  static_cast<int>(content.size()));
        close(ends[1]);
        std::FILE* stream = fdopen(ends[0], "rb");
        EXPECT_NE(stream, nullptr);
        Outcome read = readStreamToEnd(stream, maxSize, text);
        std::fclose(stream);
        return read;
    };
    const auto fromShortToldFile = [&](uint64_t maxSize, std::string& text) {
        FileHandle file;
        EXPECT_TRUE(openForReading(dir.file("input"), file));
        return readToEnd(file, maxSize, 16, text);
    };
    const struct {
        const char* source;
        std::function<Outcome(uint64_t, std::string&)> read;
    } sources[] = {
        {"file stream", fromFileStream},
        {"pipe", fromPipe},
        {"file told short", fromShortToldFile},
    };
    for (const auto& source : sources) {
        for (const uint64_t maxSize : {content.size(), content.size() - 1}) {
            std::string text = "left over";
            Outcome read = source.read(maxSize, text);
            if (maxSize == content.size()) {
                EXPECT_TRUE(read) << source.source << ": " << read.text;
                EXPECT_EQ(text, content) << source.source;
            } else {
                EXPECT_EQ(read.fault, Fault::TooLarge) << source.source;
                EXPECT_EQ(read.text, "too large") << source.source;
                EXPECT_TRUE(text.empty()) << source.source;
            }
        }
    }
}

// A system may write less than asked: the rest follows, each byte once and in order. One that
// writes nothing, or fails, stops the whole with its reason.
TEST(FileSystem, AShortWriteStillLandsWholeOnce) {
    const std::string text = "{\"uid\": \"04112233445566\", \"keys\": [\"00..\"]}";
    const struct {
        const char* what;
        size_t most;       // the most one call writes
        size_t failAfter;  // bytes written before a call fails
        bool nothing;      // the failing call writes nothing instead of failing
        bool whole;
    } cases[] = {
        {"a byte at a time", 1, SIZE_MAX, false, true},
        {"three at a time", 3, SIZE_MAX, false, true},
        {"all at once", SIZE_MAX, SIZE_MAX, false, true},
        {"a disk full half-way", 5, 20, false, false},
        {"nothing written half-way", 5, 20, true, false},
    };
    for (const auto& c : cases) {
        std::string landed;
        const auto writeSome = [&](std::span<const char> piece, size_t& written) {
            if (landed.size() >= c.failAfter) {
                written = 0;
                return c.nothing ? Outcome{} : Outcome{Fault::Other, "No space left on device"};
            }
            written = std::min(piece.size(), c.most);
            landed.append(piece.data(), written);
            return Outcome{};
        };
        const Outcome wrote = writeWhole(writeSome, text);
        EXPECT_EQ(static_cast<bool>(wrote), c.whole) << c.what;
        if (c.whole) {
            EXPECT_EQ(landed, text) << c.what;
        } else {
            EXPECT_EQ(landed, text.substr(0, c.failAfter)) << c.what;
            EXPECT_FALSE(wrote.text.empty()) << c.what;
        }
    }
}

// The sweep of stale copies knows a save's copies by their name alone: every name
// createTemporaryFile gives, and the name a replaced file passes through, must fit the rule.
TEST(FileSystem, TemporaryNamesAndTheirSpareNamesFitTheNamingRule) {
    TempDir dir;
    const std::string prefix = ".card.json.zendor-";
    for (int made = 0; made < 20; ++made) {
        FileHandle file;
        std::string name;
        ASSERT_TRUE(createTemporaryFile(dir.path().string(), prefix, file, name));
        const std::string entry = nameOf(name);
        const std::string spare = spareNameOf(entry);
        EXPECT_TRUE(isTemporaryName(entry, prefix)) << entry;
        EXPECT_TRUE(isTemporaryName(spare, prefix)) << spare;
        EXPECT_NE(spare, entry);
        // Never a name a later save could be given.
        EXPECT_FALSE(std::isalnum(static_cast<unsigned char>(spare.back()))) << spare;
    }
    EXPECT_FALSE(isTemporaryName(prefix + "abcde", prefix));
    EXPECT_FALSE(isTemporaryName(prefix + "abcdefg", prefix));
    EXPECT_FALSE(isTemporaryName(".other.json.zendor-abcdef", prefix));
}

#ifndef _WIN32

TEST(FileSystem, NewFilesAreTheOwnersAloneAndTakeTheModeGiven) {
    TempDir dir;
    const std::string card = dir.file("card.json");
    ASSERT_TRUE(placeNewFile(closedCopy(dir, "keys"), card));
    FileInfo info;
    ASSERT_TRUE(inspect(card, info));
    EXPECT_EQ(info.permissions, 0600u);

    FileHandle file;
    ASSERT_TRUE(openForReading(card, file));
    EXPECT_TRUE(setPermissions(file, 0640));
    ASSERT_TRUE(inspect(card, info));
    EXPECT_EQ(info.permissions, 0640u);
    EXPECT_TRUE(mayWrite(card));
    EXPECT_TRUE(setPermissions(file, 0440));
    if (::geteuid() != 0) {
        EXPECT_EQ(mayWrite(card).fault, Fault::Denied);
    }
}

#else

std::wstring wide(const std::string& path) {
    return std::filesystem::path(path).wstring();
}

// Another program's handle on path, sharing only what share allows, for as long as it lives.
struct Holder {
    Holder(const std::string& path, DWORD share)
        : handle(CreateFileW(wide(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~Holder() { release(); }
    int seen = 0;  // pauses seen by whoever lets it go
    void release() {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
        }
    }
    HANDLE handle;
};

// The file's access list in the system's own notation, e.g. "D:P(A;;FA;;;SY)".
std::string accessListOf(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(wide(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return "unreadable";
    }
    char* text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                         DACL_SECURITY_INFORMATION, &text, nullptr);
    std::string list = text != nullptr ? text : "unconvertible";
    LocalFree(text);
    LocalFree(descriptor);
    return list;
}

void setAccessList(const std::string& path, const char* list) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(list, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    EXPECT_TRUE(SetFileSecurityW(wide(path).c_str(), DACL_SECURITY_INFORMATION, descriptor));
    LocalFree(descriptor);
}

std::string currentUserSid() {
    HANDLE token = nullptr;
    alignas(DWORD) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD length = 0;
    char* text = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, user, sizeof user, &length)) {
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text);
    }
    CloseHandle(token);
    std::string sid = text != nullptr ? text : "unknown";
    LocalFree(text);
    return sid;
}

// An access list with its entries in order, so that two lists compare whatever their order. Wine
// keeps no protection from inheritance (the "P" after "D:"), nor the order; only Windows shows
// those.
std::string comparable(const std::string& list) {
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    const size_t first = list.find('(');
    std::string head = list.substr(0, first);
    std::vector<std::string> entries;
    for (size_t at = first; at < list.size();) {
        const size_t end = list.find(')', at);
        entries.push_back(list.substr(at, end - at + 1));
        at = end + 1;
    }
    std::sort(entries.begin(), entries.end());
    std::string sorted = wine ? "D:" : head;
    for (const std::string& entry : entries) {
        sorted += entry;
    }
    return sorted;
}

TEST(FileSystem, NewFilesGrantTheOwnerAndTheSystemAlone) {
    TempDir dir;
    const std::string card = dir.file("card.json");
    ASSERT_TRUE(placeNewFile(closedCopy(dir, "keys"), card));
    EXPECT_EQ(comparable(accessListOf(card)),
              comparable("D:P(A;;FA;;;" + currentUserSid() + ")(A;;FA;;;SY)"));
}

// Hidden, system and narrowed rights are the user's choice; read-only is how a user protects a
// file, and the seam says so, unlike a mere holder.
TEST(FileSystem, AReplacedFileKeepsItsAttributesAndRights) {
    TempDir dir;
    const std::string card = dir.file("card.json");
    ASSERT_TRUE(placeNewFile(closedCopy(dir, "first"), card));
    constexpr DWORD kSet = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(wide(card).c_str(), kSet));
    const std::string narrowed = "D:P(A;;FA;;;" + currentUserSid() + ")(A;;FR;;;BA)";
    setAccessList(card, narrowed.c_str());
    const bool rightsStored = comparable(accessListOf(card)) == comparable(narrowed);
    ASSERT_TRUE(replaceFile(closedCopy(dir, "second"), card));
    EXPECT_EQ(readFile(card), "second");
    EXPECT_EQ(GetFileAttributesW(wide(card).c_str()) & kSet, kSet);
    if (rightsStored) {
        EXPECT_EQ(comparable(accessListOf(card)), comparable(narrowed));
    } else {
        std::printf("this system does not store the access list set: not compared\n");
    }

    ASSERT_TRUE(SetFileAttributesW(wide(card).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(mayWrite(card).fault, Fault::Denied);
    ASSERT_TRUE(SetFileAttributesW(wide(card).c_str(), FILE_ATTRIBUTE_NORMAL));
    Holder reader(card, FILE_SHARE_READ);
    ASSERT_NE(reader.handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(mayWrite(card));
}

// Pauses a BoundedWait would take, counted instead of slept; act runs at each one (another
// program letting go, say).
struct CountedWait {
    explicit CountedWait(std::function<void()> act = {})
        : wait(kHeldFileWait, [this, act](std::chrono::milliseconds pause) {
              waited += pause;
              ++pauses;
              if (act) {
                  act();
              }
          }) {}
    std::chrono::milliseconds waited{0};
    int pauses = 0;
    BoundedWait wait;
};

// What another program's handle refuses is tried again within the bound, then said to be held;
// the old file stays whole.
TEST(FileSystem, WaitsForAFileAnotherProgramHoldsThenSaysSo) {
    TempDir dir;
    const std::string card = dir.file("card.json");
    ASSERT_TRUE(placeNewFile(closedCopy(dir, "old"), card));
    const struct {
        const char* what;
        std::function<Outcome(BoundedWait*)> call;
    } calls[] = {
        {"read",
         [&](BoundedWait* wait) {
             std::string text;
             return readWholeFile(card, 16, text, wait);
         }},
        {"replace",
         [&](BoundedWait* wait) { return replaceFile(closedCopy(dir, "new"), card, wait); }},
        {"remove", [&](BoundedWait* wait) { return removeFile(card, wait); }},
        {"lock file",
         [&](BoundedWait* wait) {
             FileHandle file;
             return openLockFile(card, file, wait);
         }},
        {"stream",
         [&](BoundedWait* wait) {
             std::FILE* stream = nullptr;
             Outcome opened = openStream(card.c_str(), "rb", stream, wait);
             if (stream != nullptr) {
                 std::fclose(stream);
             }
             return opened;
         }},
    };
    for (const auto& c : calls) {
        // Held for good: the whole bound, once, however many steps the call takes.
        {
            Holder holder(card, 0);
            ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);
            CountedWait counted;
            const Outcome outcome = c.call(&counted.wait);
            EXPECT_EQ(outcome.fault, Fault::HeldOpen) << c.what << ": " << outcome.text;
            EXPECT_EQ(outcome.text, "another program holds it open") << c.what;
            EXPECT_EQ(counted.waited, kHeldFileWait.total) << c.what;
        }
        EXPECT_EQ(readFile(card), "old") << c.what;
        // Let go at the third pause: waited for, and done.
        if (std::string_view(c.what) != "remove") {
            Holder holder(card, 0);
            CountedWait counted([&] {
                if (++holder.seen == 3) {
                    holder.release();
                }
            });
            const Outcome outcome = c.call(&counted.wait);
            EXPECT_TRUE(outcome) << c.what << ": " << outcome.text;
            EXPECT_EQ(counted.pauses, 3) << c.what;
            ASSERT_TRUE(placeNewFile(closedCopy(dir, "old"), dir.file("old")) &&
                        replaceFile(dir.file("old"), card) && readFile(card) == "old")
                << c.what;
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().filename() != "card.json") {
            EXPECT_TRUE(removeFile(entry.path().string())) << entry.path();
        }
    }
}

// A refusal that no holder explains is not waited for: only one shown to come from another
// program's handle is. (Wine enforces neither access lists nor the read-only attribute on a
// replace, so the refusals are given here as the system would report them.)
TEST(FileSystem, OnlyARefusalAHolderExplainsIsWaitedFor) {
    TempDir dir;
    const std::string card = dir.file("card.json");
    ASSERT_TRUE(placeNewFile(closedCopy(dir, "old"), card));
    const std::wstring name = wide(card);
    constexpr DWORD kRefusals[] = {ERROR_ACCESS_DENIED, ERROR_UNABLE_TO_REMOVE_REPLACED,
                                   ERROR_UNABLE_TO_MOVE_REPLACEMENT,
                                   ERROR_UNABLE_TO_MOVE_REPLACEMENT_2};
    for (const DWORD error : kRefusals) {
        EXPECT_FALSE(heldByAnother(error, name)) << error << ": nobody holds it";
    }
    {
        Holder sharingReading(card, FILE_SHARE_READ | FILE_SHARE_WRITE);
        for (const DWORD error : kRefusals) {
            EXPECT_TRUE(heldByAnother(error, name)) << error << ": held without sharing deletion";
        }
    }
    Holder sharingAll(card, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    EXPECT_FALSE(heldByAnother(ERROR_ACCESS_DENIED, name)) << "a holder that allows everything";
    EXPECT_TRUE(heldByAnother(ERROR_SHARING_VIOLATION, name));
    EXPECT_TRUE(heldByAnother(ERROR_LOCK_VIOLATION, name));
    EXPECT_FALSE(heldByAnother(ERROR_FILE_NOT_FOUND, name));
}

#endif

}  // namespace
}  // namespace zendor::platform
