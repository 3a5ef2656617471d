#include "platform/file_errors.h"
#include "platform/owner_only.h"

namespace zendor::platform {
namespace {

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

}  // namespace

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

}  // namespace zendor::platform
