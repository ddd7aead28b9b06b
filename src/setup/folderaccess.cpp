#include "setup/folderaccess.h"

#include <aclapi.h>

LogsFolderAccess::LogsFolderAccess() noexcept {
    ok_ = ::InitializeAcl(reinterpret_cast<ACL*>(acl_), sizeof acl_, ACL_REVISION) &&
          AddEntry(WinWorldSid, kLogsEveryoneRights) && AddEntry(WinBuiltinAdministratorsSid, FILE_ALL_ACCESS) &&
          AddEntry(WinLocalSystemSid, FILE_ALL_ACCESS);
}

bool LogsFolderAccess::AddEntry(WELL_KNOWN_SID_TYPE account, DWORD rights) noexcept {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    if (!::CreateWellKnownSid(account, nullptr, sid, &sidSize)) return false;
    return ::AddAccessAllowedAceEx(reinterpret_cast<ACL*>(acl_), ACL_REVISION, kLogsInheritFlags, rights, sid) !=
           FALSE;
}

bool LogsFolderAccess::ApplyTo(const char* folder) noexcept {
    if (!ok_ || !folder) return false;
    return ::SetNamedSecurityInfoA(const_cast<char*>(folder), SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   Acl(), nullptr) == ERROR_SUCCESS;
}
