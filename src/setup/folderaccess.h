// The access list given to the Logs folder. Every local user's client appends
// to the same file of the day there, so everyone may list the folder, create
// files in it, and read and write those files. Only administrators and the
// system may delete files, change permissions or take ownership (everyone
// lacks DELETE, FILE_DELETE_CHILD, WRITE_DAC and WRITE_OWNER), so one user
// can neither remove another's log nor lock the others out. The entries are
// inherited by every file and subfolder made there. The program folder itself
// keeps the default, inherited security: a user who could write there could
// replace the program or the uninstaller that an administrator runs later.
#pragma once

#include <windows.h>

constexpr DWORD kLogsEveryoneRights = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE;
constexpr BYTE kLogsInheritFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

class LogsFolderAccess {
public:
    LogsFolderAccess() noexcept;
    LogsFolderAccess(const LogsFolderAccess&) = delete;
    LogsFolderAccess& operator=(const LogsFolderAccess&) = delete;

    // Null when the list could not be built.
    ACL* Acl() noexcept { return ok_ ? reinterpret_cast<ACL*>(acl_) : nullptr; }
    // Sets the list on an existing folder, keeping what it inherits from its
    // parent; false when it could not be built or set.
    bool ApplyTo(const char* folder) noexcept;

private:
    bool AddEntry(WELL_KNOWN_SID_TYPE account, DWORD rights) noexcept;

    alignas(DWORD) BYTE acl_[1024] = {};
    bool ok_ = false;
};
