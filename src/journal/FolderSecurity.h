// The journal folder's access rules. Every Windows user of the till must be
// able to add records, whoever created the folder or the month's file, and
// no user but an administrator may rewrite or delete what is there.
#pragma once

#include <windows.h>

namespace ykt::journal {

// A protected DACL (nothing inherited from the common application data
// folder, whose rules differ between XP and Vista):
//   SYSTEM, Administrators  full control, folder and files
//   Users                   list, read and create files in the folder
//   Users                   read and append to the files (inherited by them)
class FolderSecurity {
public:
    FolderSecurity();
    // False when the descriptor could not be built; the folder is then
    // created with the default rules of its parent.
    bool valid() const { return valid_; }
    SECURITY_ATTRIBUTES* attributes() { return valid_ ? &attributes_ : nullptr; }

    // The rights of the two Users entries.
    static constexpr DWORD kUsersOnFolder = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE | FILE_ADD_FILE;
    static constexpr DWORD kUsersOnFiles = FILE_GENERIC_READ | FILE_APPEND_DATA;

private:
    bool valid_ = false;
    BYTE system_[SECURITY_MAX_SID_SIZE];
    BYTE admins_[SECURITY_MAX_SID_SIZE];
    BYTE users_[SECURITY_MAX_SID_SIZE];
    alignas(DWORD) BYTE acl_[512];
    SECURITY_DESCRIPTOR descriptor_;
    SECURITY_ATTRIBUTES attributes_;
};

}  // namespace ykt::journal
