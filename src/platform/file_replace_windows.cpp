// Windows: a file put in place of another (ReplaceFileW, which keeps the replaced file's
// attributes and rights; MoveFileExW where a file system refuses it), or where there is none.
#include <windows.h>

#include "platform/file_errors.h"
#include "platform/file_system.h"
#include "platform/held_open.h"
#include "platform/wide_path.h"

namespace zendor::platform {
namespace {

// What a user sets on a file and its replacement keeps. ReplaceFileW carries them over on Windows;
// they are put back should an implementation not.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// ReplaceFileW with a backup name leaves both files under their own names when it fails; should a
// system not keep that promise, the old file goes back where it was.
void putBackReplaced(const std::wstring& to, const std::wstring& spare) {
    if (GetFileAttributesW(to.c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetFileAttributesW(spare.c_str()) != INVALID_FILE_ATTRIBUTES) {
        MoveFileExW(spare.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
    }
}

void keepAttributes(const std::wstring& path, DWORD before) {
    const DWORD after = GetFileAttributesW(path.c_str());
    if (before == INVALID_FILE_ATTRIBUTES || after == INVALID_FILE_ATTRIBUTES ||
        (after & kKeptAttributes) == (before & kKeptAttributes)) {
        return;
    }
    const DWORD wanted = (after & ~kKeptAttributes) | (before & kKeptAttributes);
    SetFileAttributesW(path.c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
}

// ReplaceFileW's own refusals name either file: a holder of the replacement (a scanner looking at
// the copy just written) counts as much as one of the file replaced.
DWORD replaceOnce(const std::wstring& target, const std::wstring& source,
                  const std::wstring& spare) {
    const DWORD error =
        errorOf(ReplaceFileW(target.c_str(), source.c_str(), spare.c_str(), 0, nullptr, nullptr));
    if (error == ERROR_SUCCESS) {
        return error;
    }
    putBackReplaced(target, spare);
    const bool refusal = error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
                         error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                         error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
    return refusal && heldOpenByAnother(source) ? ERROR_SHARING_VIOLATION : error;
}

}  // namespace

Outcome replaceFile(const std::string& from, const std::string& to, BoundedWait* wait) {
    BoundedWait own(kHeldFileWait);
    BoundedWait& budget = wait != nullptr ? *wait : own;
    const std::wstring source = systemPath(from);
    const std::wstring target = systemPath(to);
    // Through a backup name the old file is renamed away, which a holder sharing deletion
    // allows, rather than deleted under it; and a failure leaves the old file in place.
    const std::wstring spare = systemPath(spareNameOf(from));
    DeleteFileW(spare.c_str());
    const DWORD attributes = GetFileAttributesW(target.c_str());
    Outcome replaced =
        retryWhileHeld(target, &budget, [&] { return replaceOnce(target, source, spare); });
    if (!replaced && replaced.fault != Fault::HeldOpen) {
        // Some file systems (network shares among them) refuse ReplaceFileW; the old file is in
        // place (put back, should it be left under the spare name), and a plain rename still
        // saves, keeping what keepAttributes puts back.
        replaced = retryWhileHeld(target, &budget, [&] {
            return errorOf(MoveFileExW(source.c_str(), target.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        });
    }
    if (replaced) {
        keepAttributes(target, attributes);
        // The old card is no longer wanted; one a holder keeps is swept with the stale copies,
        // now that the card file is in place.
        (void)retryWhileHeld(spare, &budget, [&] { return errorOf(DeleteFileW(spare.c_str())); });
    }
    return replaced;
}

Outcome placeNewFile(const std::string& from, const std::string& to, BoundedWait* wait) {
    const std::wstring source = systemPath(from);
    const std::wstring target = systemPath(to);
    // Without MOVEFILE_REPLACE_EXISTING the move fails when to exists. The file keeps the rights
    // it was made with.
    return retryWhileHeld(source, wait, [&] {
        return errorOf(MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH));
    });
}

}  // namespace zendor::platform
