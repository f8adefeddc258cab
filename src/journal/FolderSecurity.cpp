#include "journal/FolderSecurity.h"

namespace ykt::journal {

namespace {

bool Sid(WELL_KNOWN_SID_TYPE type, BYTE* buffer) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    return CreateWellKnownSid(type, nullptr, buffer, &size) != FALSE;
}

}  // namespace

FolderSecurity::FolderSecurity() : descriptor_(), attributes_() {
    constexpr DWORD inherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    auto* acl = reinterpret_cast<ACL*>(acl_);
    valid_ = Sid(WinLocalSystemSid, system_) && Sid(WinBuiltinAdministratorsSid, admins_) &&
             Sid(WinBuiltinUsersSid, users_) && InitializeAcl(acl, sizeof acl_, ACL_REVISION) &&
             AddAccessAllowedAceEx(acl, ACL_REVISION, inherited, FILE_ALL_ACCESS, system_) &&
             AddAccessAllowedAceEx(acl, ACL_REVISION, inherited, FILE_ALL_ACCESS, admins_) &&
             AddAccessAllowedAceEx(acl, ACL_REVISION, 0, kUsersOnFolder, users_) &&
             AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE, kUsersOnFiles,
                                   users_) &&
             InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
             SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
             SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
}

}  // namespace ykt::journal
