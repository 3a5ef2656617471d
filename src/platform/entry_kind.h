// What a Windows folder entry is, told from its attributes and, for a reparse point, its tag. A
// pure function of two numbers, so that both systems' tests hold it to one table.
#pragma once

#include <cstdint>

#include "platform/file_system.h"

namespace zendor::platform {

// The Windows headers' values (file_system_windows.cpp checks them against those headers).
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeDevice = 0x40;
constexpr uint32_t kAttributeReparsePoint = 0x400;
// The bit of a reparse tag that IsReparseTagNameSurrogate tests.
constexpr uint32_t kTagNameSurrogate = 0x20000000;

// Only a name surrogate (a symbolic link, a junction, a mount point) stands for another entry.
// Other reparse points are what their attributes say: OneDrive's files and folders (which keep
// their tag even while on the disk), deduplicated and compressed (WOF) files.
constexpr EntryKind entryKindOf(uint32_t attributes, uint32_t reparseTag) {
    if ((attributes & kAttributeReparsePoint) != 0 && (reparseTag & kTagNameSurrogate) != 0) {
        return EntryKind::Link;
    }
    if ((attributes & kAttributeDirectory) != 0) {
        return EntryKind::Directory;
    }
    return (attributes & kAttributeDevice) != 0 ? EntryKind::Other : EntryKind::Regular;
}

}  // namespace zendor::platform
