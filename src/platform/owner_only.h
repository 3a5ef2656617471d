// Windows only: the access list a new card file is made with.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <array>

#include "platform/file_system.h"

namespace zendor::platform {

// Rights for this user and the system alone, not inherited from the folder: a new card file
// holds keys, and a shared folder would otherwise let every user of the PC read them. Kept
// whole, since attributes points into the rest.
struct OwnerOnlyRights {
    alignas(DWORD) std::array<BYTE, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> user{};
    alignas(DWORD) std::array<BYTE, SECURITY_MAX_SID_SIZE> system{};
    alignas(DWORD) std::array<BYTE, sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) +
                                                       SECURITY_MAX_SID_SIZE)> acl{};
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};
};

// Fills rights for the user this program runs as; rights.attributes is then what CreateFileW
// takes.
Outcome makeOwnerOnly(OwnerOnlyRights& rights);

}  // namespace zendor::platform

#endif
