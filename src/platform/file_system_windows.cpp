// Windows implementation of the file seam: wide calls on UTF-8 paths, ReplaceFileW for atomic
// replacement (it keeps the replaced file's attributes and rights), LockFileEx for locks, the
// read-only attribute for permissions.
//
// Files are opened with every share mode, FILE_SHARE_DELETE included, so that a save can rename
// over a card file another connection is reading and a lock file can be removed while held.
// Other programs are less kind: virus scanners, sync clients and the indexer open a file just
// written, often sharing nothing, so what they refuse is tried again for a bounded time.
// Links are never followed where POSIX refuses them (FILE_FLAG_OPEN_REPARSE_POINT).
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/crypto.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/path_names.h"
#include "platform/wide_path.h"

namespace zendor::platform {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The longest path the wide calls take, in characters.
constexpr size_t kLongestPath = 32768;
// Locks are taken on one byte far past any data, so that a locked card file can still be read
// through another handle (Windows locks are mandatory on the bytes they cover).
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

// What a user sets on a file and its replacement keeps. ReplaceFileW carries them over on Windows;
// they are put back should an implementation not.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr std::string_view kHeldOpenText = "another program holds it open";
// Pauses between tries while another program holds a file: short at first, since a scanner
// lets go within milliseconds, and about two seconds in all, after which waiting longer would
// only look like a hang.
constexpr std::array<DWORD, 9> kHeldOpenWaits = {10, 20, 40, 80, 160, 320, 500, 500, 500};

std::wstring wide(const std::string& utf8) {
    return systemPath(utf8);
}

// The system's own text for an error, without its line end and final period.
std::string errorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.' ||
                             text.back() == L' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(error) : utf8Text(text);
}

Outcome failure(DWORD error) {
    Fault fault = Fault::Other;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            fault = Fault::Missing;
            break;
        case ERROR_LOCK_VIOLATION:
            fault = Fault::Busy;
            break;
        case ERROR_SHARING_VIOLATION:
            return {Fault::HeldOpen, std::string(kHeldOpenText)};
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            fault = Fault::Denied;
            break;
        default:
            break;
    }
    return {fault, errorText(error)};
}

Outcome lastFailure() {
    return failure(GetLastError());
}

HANDLE handleOf(const FileHandle& file) {
    return reinterpret_cast<HANDLE>(file.native());
}

FileHandle adopt(HANDLE handle) {
    return FileHandle(handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(handle));
}

// A file time (100 ns steps since 1601) on the system clock (since 1970).
std::chrono::system_clock::time_point timeOf(FILETIME time) {
    constexpr uint64_t kStepsFrom1601To1970 = 116444736000000000ULL;
    const uint64_t steps = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    const auto since = std::chrono::duration<int64_t, std::ratio<1, 10000000>>(
        static_cast<int64_t>(steps - kStepsFrom1601To1970));
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
}

EntryKind kindOf(DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return EntryKind::Link;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return EntryKind::Directory;
    }
    return attributes & FILE_ATTRIBUTE_DEVICE ? EntryKind::Other : EntryKind::Regular;
}

// What an open handle names: a link, a folder, or a file.
Outcome requireRegular(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return lastFailure();
    }
    switch (kindOf(info.dwFileAttributes)) {
        case EntryKind::Regular:
            return {};
        case EntryKind::Link:
            return {Fault::Link, "is a symbolic link"};
        case EntryKind::Directory:
            return {Fault::NotRegular, "is a directory"};
        default:
            return {Fault::NotRegular, "is not a regular file"};
    }
}

HANDLE openExisting(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Opened for no access at all, which works on files that others hold open; the backup flag lets
// a folder open too. Links are followed: the system resolves the whole chain.
HANDLE openFollowing(const std::wstring& path) {
    return CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The verbatim path the system keeps for an existing file or folder ("\\?\C:\..."), links
// followed.
Outcome finalPathOf(const std::wstring& path, std::wstring& final) {
    final.clear();
    FileHandle held = adopt(openFollowing(path));
    if (!held.isOpen()) {
        return lastFailure();
    }
    constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    final.assign(kLongestPath, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handleOf(held), final.data(),
                                                   static_cast<DWORD>(final.size()), kFlags);
    if (length == 0 || length >= final.size()) {
        final.clear();
        return lastFailure();
    }
    final.resize(length);
    return {};
}

// Whether a refusal naming path may be another program's open handle rather than a right this
// user lacks: the file is there, not read-only, and this user may open it for deletion (which
// only a holder that shares no deletion refuses).
bool refusedByAHolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) {
        return false;
    }
    FileHandle probe = adopt(openExisting(path, DELETE));
    return probe.isOpen() || GetLastError() == ERROR_SHARING_VIOLATION;
}

// Whether error may go away once another program closes the file at path. ReplaceFileW's own
// errors leave both files under their names when a backup name is given, so trying again is safe.
bool heldByAnother(DWORD error, const std::wstring& path) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return true;
        case ERROR_ACCESS_DENIED:
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
        case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
            return refusedByAHolder(path);
        default:
            return false;
    }
}

// Runs attempt (which returns ERROR_SUCCESS or its error) until it succeeds, fails for a reason
// waiting does not mend, or the pauses are used up; never asks anyone to press a key.
template <typename Attempt>
Outcome retryWhileHeld(const std::wstring& path, Attempt attempt) {
    for (size_t tried = 0;; ++tried) {
        const DWORD error = attempt();
        if (error == ERROR_SUCCESS) {
            return {};
        }
        if (!heldByAnother(error, path)) {
            return failure(error);
        }
        if (tried == kHeldOpenWaits.size()) {
            return {Fault::HeldOpen, std::string(kHeldOpenText)};
        }
        Sleep(kHeldOpenWaits[tried]);
    }
}

DWORD errorOf(BOOL done) {
    return done ? ERROR_SUCCESS : GetLastError();
}

// An existing entry opened as itself (a link is not followed); folders open too, so that they
// can be told apart from files.
Outcome openEntry(const std::string& path, DWORD access, FileHandle& file) {
    const std::wstring name = wide(path);
    return retryWhileHeld(name, [&] {
        file = adopt(openExisting(name, access));
        return errorOf(file.isOpen());
    });
}

// Rights for this user and the system alone, not inherited from the folder: a new card file
// holds keys, and a shared folder would otherwise let every user of the PC read them.
struct OwnerOnlyRights {
    alignas(DWORD) std::array<BYTE, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> user{};
    alignas(DWORD) std::array<BYTE, SECURITY_MAX_SID_SIZE> system{};
    alignas(DWORD) std::array<BYTE, sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) +
                                                       SECURITY_MAX_SID_SIZE)> acl{};
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};
};

Outcome currentUser(OwnerOnlyRights& rights) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return lastFailure();
    }
    DWORD length = 0;
    const BOOL known = GetTokenInformation(token, TokenUser, rights.user.data(),
                                           static_cast<DWORD>(rights.user.size()), &length);
    const DWORD error = GetLastError();
    CloseHandle(token);
    return known ? Outcome{} : failure(error);
}

Outcome makeOwnerOnly(OwnerOnlyRights& rights) {
    if (Outcome known = currentUser(rights); !known) {
        return known;
    }
    PSID owner = reinterpret_cast<TOKEN_USER*>(rights.user.data())->User.Sid;
    DWORD systemLength = static_cast<DWORD>(rights.system.size());
    auto* acl = reinterpret_cast<ACL*>(rights.acl.data());
    const bool made =
        CreateWellKnownSid(WinLocalSystemSid, nullptr, rights.system.data(), &systemLength) &&
        InitializeAcl(acl, static_cast<DWORD>(rights.acl.size()), ACL_REVISION) &&
        AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, owner) &&
        AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, rights.system.data()) &&
        InitializeSecurityDescriptor(&rights.descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&rights.descriptor, TRUE, acl, FALSE) &&
        SetSecurityDescriptorControl(&rights.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    if (!made) {
        return lastFailure();
    }
    rights.attributes = {sizeof(SECURITY_ATTRIBUTES), &rights.descriptor, FALSE};
    return {};
}

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

// Never '~' or '_', which spareNameOf puts in a name's last place.
char randomNameCharacter(uint8_t byte) {
    static constexpr std::string_view kCharacters = "abcdefghijklmnopqrstuvwxyz0123456789";
    return kCharacters[byte % kCharacters.size()];
}

bool sameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool identityOf(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
    FileHandle held = adopt(openFollowing(systemPath(path)));
    return held.isOpen() && GetFileInformationByHandle(handleOf(held), &info) != 0;
}

// Where the system cannot tell the final path (Wine past MAX_PATH): each name of an existing
// verbatim path as its folder spells it, which settles 8.3 names and letter case.
bool spelledByFolders(const std::wstring& verbatim, std::wstring& spelled) {
    if (verbatim.find_first_of(L"*?", 4) != std::wstring::npos) {
        return false;  // a pattern, which the search below would match against other names
    }
    // The root ("\\?\C:\", "\\?\UNC\server\share\") is kept as it is.
    const size_t separators = verbatim.starts_with(L"\\\\?\\UNC\\") ? 6 : 4;
    size_t at = 0;
    for (size_t seen = 0; seen < separators && at != std::wstring::npos; ++seen) {
        at = verbatim.find(L'\\', seen == 0 ? 0 : at + 1);
    }
    if (at == std::wstring::npos) {
        return false;
    }
    spelled = verbatim.substr(0, at + 1);
    if (separators == 4 && spelled.size() == 7 && spelled[5] == L':') {
        spelled[4] = static_cast<wchar_t>(towupper(spelled[4]));
    }
    for (size_t start = at + 1; start < verbatim.size();) {
        size_t end = verbatim.find(L'\\', start);
        end = end == std::wstring::npos ? verbatim.size() : end;
        WIN32_FIND_DATAW found{};
        HANDLE search =
            FindFirstFileW((spelled + verbatim.substr(start, end - start)).c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            return false;
        }
        FindClose(search);
        spelled += found.cFileName;
        if (end < verbatim.size()) {
            spelled += L'\\';
        }
        start = end + 1;
    }
    return true;
}

bool existingPathOf(const std::wstring& verbatim, std::wstring& canonical) {
    return finalPathOf(verbatim, canonical) || spelledByFolders(verbatim, canonical);
}

// The verbatim path in the form users read ("C:\...", "\\server\share\..."), where that form
// reads back as the same path: not past MAX_PATH, and no name that the system would change (a
// trailing dot or space, a device name).
std::wstring readable(const std::wstring& verbatim) {
    std::wstring plain;
    if (verbatim.starts_with(L"\\\\?\\UNC\\")) {
        plain = L"\\\\" + verbatim.substr(8);
    } else if (verbatim.starts_with(L"\\\\?\\")) {
        plain = verbatim.substr(4);
    } else {
        return verbatim;
    }
    return plain.size() < MAX_PATH - 12 && fullPath(plain) == plain ? plain : verbatim;
}

}  // namespace

Outcome FileHandle::close() {
    if (native_ == -1) {
        return {};
    }
    const BOOL closed = CloseHandle(reinterpret_cast<HANDLE>(native_));
    native_ = -1;
    return closed ? Outcome{} : lastFailure();
}

Outcome inspect(const std::string& path, FileInfo& info) {
    info = FileInfo{};
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Outcome{}
                                                                              : failure(error);
    }
    info.kind = kindOf(data.dwFileAttributes);
    info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // Windows has no permission bits: the read-only attribute takes away every write bit.
    info.permissions = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    info.modified = timeOf(data.ftLastWriteTime);
    return {};
}

Outcome followLinks(const std::string& path, std::string& target) {
    target = path;
    FileInfo info;
    if (Outcome looked = inspect(path, info); !looked || info.kind != EntryKind::Link) {
        return looked;
    }
    std::wstring final;
    if (Outcome found = finalPathOf(wide(path), final); !found) {
        return found;
    }
    // "\\?\C:\..." names the same file as "C:\..."; the short form is the one users read.
    if (final.starts_with(L"\\\\?\\") && final.size() > 6 && final[5] == L':') {
        final.erase(0, 4);
    }
    target = utf8Text(final);
    return {};
}

Outcome mayWrite(const std::string& path) {
    FileInfo info;
    if (Outcome looked = inspect(path, info); !looked) {
        return looked;
    }
    switch (info.kind) {
        case EntryKind::Missing:
            return failure(ERROR_FILE_NOT_FOUND);
        case EntryKind::Directory:
            // A folder's read-only attribute means nothing to Windows; the save itself will tell.
            return {};
        default:
            break;
    }
    if ((info.permissions & 0222) == 0) {
        return failure(ERROR_ACCESS_DENIED);
    }
    // Rights are checked before sharing: a holder that shares no writing says nothing of them.
    FileHandle probe = adopt(openExisting(wide(path), FILE_WRITE_DATA));
    return probe.isOpen() || GetLastError() == ERROR_SHARING_VIOLATION ? Outcome{} : lastFailure();
}

Outcome readWholeFile(const std::string& path, uint64_t maxSize, std::string& text) {
    text.clear();
    FileHandle file;
    if (Outcome opened = openEntry(path, GENERIC_READ, file); !opened) {
        return opened;
    }
    if (Outcome regular = requireRegular(handleOf(file)); !regular) {
        return regular;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(file), &size)) {
        return lastFailure();
    }
    return readToEnd(file, maxSize, static_cast<uint64_t>(size.QuadPart), text);
}

Outcome readSome(FileHandle& file, std::span<char> buffer, size_t& count) {
    DWORD n = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(buffer.size(), 1u << 30));
    const BOOL done = ReadFile(handleOf(file), buffer.data(), wanted, &n, nullptr);
    count = done ? n : 0;
    return done ? Outcome{} : lastFailure();
}

Outcome listFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(wide(pathIn(folder, "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return lastFailure();
    }
    do {
        const std::string name = utf8Text(found.cFileName);
        if (isEntryName(name)) {
            names.push_back(name);
        }
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    return error == ERROR_NO_MORE_FILES ? Outcome{} : failure(error);
}

Outcome createTemporaryFile(const std::string& folder, const std::string& prefix, FileHandle& file,
                            std::string& name) {
    OwnerOnlyRights rights;
    if (Outcome made = makeOwnerOnly(rights); !made) {
        return made;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::array<uint8_t, kTemporaryRandomLength> random{};
        if (!randomBytes(random)) {
            return {Fault::Other, "no random numbers"};
        }
        std::string entry = prefix;
        for (uint8_t byte : random) {
            entry += randomNameCharacter(byte);
        }
        name = pathIn(folder, entry);
        HANDLE handle =
            CreateFileW(wide(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kShareAll,
                        &rights.attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            file = adopt(handle);
            return {};
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return lastFailure();
        }
    }
    return failure(ERROR_FILE_EXISTS);
}

Outcome writeAll(FileHandle& file, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD n = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 30));
        if (!WriteFile(handleOf(file), text.data() + done, wanted, &n, nullptr)) {
            return lastFailure();
        }
        if (n == 0) {
            return failure(ERROR_WRITE_FAULT);
        }
        done += n;
    }
    return {};
}

Outcome syncFile(FileHandle& file) {
    return FlushFileBuffers(handleOf(file)) ? Outcome{} : lastFailure();
}

Outcome setPermissions(FileHandle& file, uint32_t permissions) {
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(handleOf(file), FileBasicInfo, &info, sizeof info)) {
        return lastFailure();
    }
    const DWORD others =
        info.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL);
    info.FileAttributes = (permissions & 0222) != 0 ? (others != 0 ? others : FILE_ATTRIBUTE_NORMAL)
                                                    : others | FILE_ATTRIBUTE_READONLY;
    return SetFileInformationByHandle(handleOf(file), FileBasicInfo, &info, sizeof info)
               ? Outcome{}
               : lastFailure();
}

Outcome setOwner(FileHandle&, uint32_t, uint32_t) {
    // A new file is its creator's; Windows has no numeric owner to carry over.
    return {};
}

Outcome replaceFile(const std::string& from, const std::string& to) {
    const std::wstring source = wide(from);
    const std::wstring target = wide(to);
    // Through a backup name the old file is renamed away, which a holder sharing deletion
    // allows, rather than deleted under it; and a failure leaves the old file in place.
    const std::wstring spare = wide(spareNameOf(from));
    DeleteFileW(spare.c_str());
    const DWORD attributes = GetFileAttributesW(target.c_str());
    Outcome replaced = retryWhileHeld(target, [&] {
        const DWORD error = errorOf(
            ReplaceFileW(target.c_str(), source.c_str(), spare.c_str(), 0, nullptr, nullptr));
        if (error != ERROR_SUCCESS) {
            putBackReplaced(target, spare);
        }
        return error;
    });
    if (!replaced && replaced.fault != Fault::HeldOpen) {
        // Some file systems (network shares among them) refuse ReplaceFileW; the old file is in
        // place, and a plain rename still saves, keeping what keepAttributes puts back.
        replaced = retryWhileHeld(target, [&] {
            return errorOf(MoveFileExW(source.c_str(), target.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        });
    }
    if (replaced) {
        keepAttributes(target, attributes);
        // The old card is no longer wanted; one a holder keeps is swept with the stale copies.
        (void)retryWhileHeld(spare, [&] { return errorOf(DeleteFileW(spare.c_str())); });
    }
    return replaced;
}

Outcome placeNewFile(const std::string& from, const std::string& to) {
    const std::wstring source = wide(from);
    const std::wstring target = wide(to);
    // Without MOVEFILE_REPLACE_EXISTING the move fails when to exists. The file keeps the rights
    // it was made with.
    return retryWhileHeld(source, [&] {
        return errorOf(MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH));
    });
}

Outcome removeFile(const std::string& path) {
    const std::wstring name = wide(path);
    return retryWhileHeld(name, [&] { return errorOf(DeleteFileW(name.c_str())); });
}

Outcome syncFolder(const std::string&) {
    // MOVEFILE_WRITE_THROUGH has already put the rename on disk.
    return {};
}

Outcome openLockFile(const std::string& path, FileHandle& file) {
    const std::wstring name = wide(path);
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;
    // Only the open waits for another program; the lock byte is tried once, by tryLock.
    const Outcome opened = retryWhileHeld(name, [&] {
        handle = CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_ALWAYS, kFlags,
                             nullptr);
        error = errorOf(handle != INVALID_HANDLE_VALUE);
        return error;
    });
    if (error == ERROR_ACCESS_DENIED && opened.fault != Fault::HeldOpen) {
        // A folder this user may not write: an existing lock file is still good, and a missing
        // one is reported as missing, with the reason it could not be made.
        handle = CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, kFlags,
                             nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
            return {Fault::Missing, opened.text};
        }
        if (handle == INVALID_HANDLE_VALUE) {
            return lastFailure();
        }
    } else if (!opened) {
        return opened;
    }
    file = adopt(handle);
    if (Outcome regular = requireRegular(handle); !regular) {
        file.close();
        return regular;
    }
    return {};
}

Outcome openForReading(const std::string& path, FileHandle& file) {
    if (Outcome opened = openEntry(path, GENERIC_READ, file); !opened) {
        return opened;
    }
    if (Outcome regular = requireRegular(handleOf(file)); !regular) {
        file.close();
        return regular;
    }
    return {};
}

Outcome tryLock(FileHandle& file) {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    return LockFileEx(handleOf(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &at)
               ? Outcome{}
               : lastFailure();
}

bool stillNamed(const FileHandle& file, const std::string& path) {
    BY_HANDLE_FILE_INFORMATION held{};
    BY_HANDLE_FILE_INFORMATION named{};
    FileHandle current = adopt(openExisting(wide(path), 0));
    return current.isOpen() && GetFileInformationByHandle(handleOf(file), &held) &&
           GetFileInformationByHandle(handleOf(current), &named) && sameIdentity(held, named);
}

bool sameFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return first != nullptr && second != nullptr && identityOf(first, a) && identityOf(second, b) &&
           sameIdentity(a, b);
}

std::string canonicalPath(const std::string& path) {
    const std::wstring verbatim = verbatimPath(path);
    std::wstring canonical;
    if (existingPathOf(verbatim, canonical)) {
        return utf8Text(readable(canonical));
    }
    // A missing file: its name in its folder's spelling.
    const std::string whole = utf8Text(verbatim);
    const std::string name = nameOf(whole);
    if (!isEntryName(name) || !existingPathOf(wideText(folderOf(whole)), canonical)) {
        return path;
    }
    return utf8Text(readable(wideText(pathIn(utf8Text(canonical), name))));
}

bool isDevice(const std::string& path) {
    const std::wstring typed = wideText(path);
    return typed.starts_with(L"\\\\.\\") || fullPath(typed).starts_with(L"\\\\.\\");
}

uint32_t nameCount(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info{};
    return identityOf(path.c_str(), info) ? info.nNumberOfLinks : 0;
}

}  // namespace zendor::platform
