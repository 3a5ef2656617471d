// Which Windows reparse points are links: held to one table on both systems.
#include "platform/entry_kind.h"

#include <gtest/gtest.h>

namespace zendor::platform {
namespace {

TEST(EntryKind, OnlyNameSurrogatesAreLinks) {
    // Attribute values and tags as the Windows headers give them.
    constexpr uint32_t kArchive = 0x20;
    constexpr uint32_t kReadOnly = 0x01;
    constexpr uint32_t kFile = kArchive | kAttributeReparsePoint;
    constexpr uint32_t kFolder = kAttributeDirectory | kAttributeReparsePoint;
    const struct {
        const char* what;
        uint32_t attributes;
        uint32_t tag;
        EntryKind kind;
    } cases[] = {
        {"a plain file", kArchive, 0, EntryKind::Regular},
        {"a read-only file", kReadOnly, 0, EntryKind::Regular},
        {"a plain folder", kAttributeDirectory, 0, EntryKind::Directory},
        {"a device", kAttributeDevice, 0, EntryKind::Other},
        {"a symbolic link to a file", kFile, 0xA000000C, EntryKind::Link},
        {"a symbolic link to a folder", kFolder, 0xA000000C, EntryKind::Link},
        {"a junction", kFolder, 0xA0000003, EntryKind::Link},
        {"a OneDrive file", kFile, 0x9000001A, EntryKind::Regular},
        {"a OneDrive file, another provider's tag", kFile, 0x9000101A, EntryKind::Regular},
        {"a OneDrive folder", kFolder, 0x9000001A, EntryKind::Directory},
        {"a deduplicated file", kFile, 0x80000013, EntryKind::Regular},
        {"a WOF-compressed file", kFile, 0x80000017, EntryKind::Regular},
        // A tag without the reparse attribute is left over from a listing: it says nothing.
        {"a tag on no reparse point", kArchive, 0xA000000C, EntryKind::Regular},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(entryKindOf(c.attributes, c.tag), c.kind) << c.what;
    }
}

}  // namespace
}  // namespace zendor::platform
