// Install folder, data folders, desktop and Start-menu folders.
#include "setup/folders.h"

#include <windows.h>

#include <cstdio>

#include "common/handles.h"
#include "settings/regtext.h"
#include "settings/settings.h"
#include "setup/lfile.h"

namespace {

// Reads a shell folder value into out when the key opens and the value is
// text that fits; otherwise out keeps what it held.
void ReadShellFolder(HKEY root, const char* value, char (&out)[qdx::kTextSize]) {
    qdx::ReadRegistryText(root, kShellFoldersKey, value, out, sizeof out);
}

// Forms "%s\%s<suffix>" into out; false when it does not fit (the caller then
// leaves the file alone rather than use a cut path that names another file).
bool JoinPath(char (&out)[qdx::kTextSize], const char* folder, const char* name, const char* suffix) {
    int n = std::snprintf(out, sizeof out, "%s\\%s%s", folder, name, suffix);
    return n > 0 && static_cast<std::size_t>(n) < sizeof out;
}

// The access list of the Logs folder. Every local user's client appends to
// the same file of the day there, so everyone may list the folder, create
// files in it and read and write those files. Nobody but administrators and
// the system may delete files, change permissions or take ownership
// (no DELETE, FILE_DELETE_CHILD, WRITE_DAC or WRITE_OWNER), so one user cannot
// remove another's log or lock everybody out. The entries are inherited by
// every file and subfolder made there.
constexpr DWORD kLogsEveryoneRights = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE;
constexpr BYTE kInheritToAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

class LogsFolderSecurity {
public:
    LogsFolderSecurity() noexcept {
        ok_ = Build();
    }
    // Null when the descriptor could not be built: the folder then gets
    // default security, which is the safe side.
    SECURITY_ATTRIBUTES* Attributes() noexcept { return ok_ ? &sa_ : nullptr; }

private:
    bool AddEntry(WELL_KNOWN_SID_TYPE account, DWORD rights) noexcept {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD sidSize = sizeof sid;
        if (!::CreateWellKnownSid(account, nullptr, sid, &sidSize)) return false;
        return ::AddAccessAllowedAceEx(reinterpret_cast<ACL*>(acl_), ACL_REVISION, kInheritToAll, rights, sid) != FALSE;
    }
    bool Build() noexcept {
        if (!::InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION)) return false;
        if (!::InitializeAcl(reinterpret_cast<ACL*>(acl_), sizeof acl_, ACL_REVISION)) return false;
        if (!AddEntry(WinWorldSid, kLogsEveryoneRights)) return false;
        if (!AddEntry(WinBuiltinAdministratorsSid, FILE_ALL_ACCESS)) return false;
        if (!AddEntry(WinLocalSystemSid, FILE_ALL_ACCESS)) return false;
        if (!::SetSecurityDescriptorDacl(&sd_, TRUE, reinterpret_cast<ACL*>(acl_), FALSE)) return false;
        sa_.nLength = sizeof sa_;
        sa_.lpSecurityDescriptor = &sd_;
        sa_.bInheritHandle = FALSE;
        return true;
    }

    alignas(DWORD) BYTE acl_[1024] = {};
    SECURITY_DESCRIPTOR sd_ = {};
    SECURITY_ATTRIBUTES sa_ = {};
    bool ok_ = false;
};

}  // namespace

void GetInstallProgramFilesPath(char (&out)[qdx::kTextSize]) {
    qdx::CopyText(out, kDefaultInstallFolder);
    // At most 200 bytes of the Program Files location, so that the maker and
    // product names and the product's file names always fit behind it.
    char programFiles[200];
    if (qdx::ReadRegistryText(HKEY_LOCAL_MACHINE, kCurrentVersionKey, kProgramFilesDirValue, programFiles,
                              sizeof programFiles)) {
        qdx::CopyText(out, programFiles);
        ::CreateDirectoryA(out, nullptr);
        qdx::AppendText(out, kMakerSubfolder);
        ::CreateDirectoryA(out, nullptr);
        qdx::AppendText(out, kProductSubfolder);
    }
    // Default security: the program files inside must stay writable only by
    // those who may change Program Files, since an administrator later runs
    // the uninstaller from here. A folder that exists keeps its access list.
    ::CreateDirectoryA(out, nullptr);
}

void CreateDataFolder(const char* installFolder, const char* name) {
    if (!installFolder || !name) return;
    char path[qdx::kTextSize];
    if (!JoinPath(path, installFolder, name, "")) return;
    SECURITY_ATTRIBUTES* security = nullptr;
    LogsFolderSecurity logsSecurity;
    if (lstrcmpiA(name, kFolderLogs) == 0) security = logsSecurity.Attributes();
    ::CreateDirectoryA(path, security);
    WriteSetting(kSectionFolders, name, path);
}

void GetDataFolder(const char* name, char (&out)[qdx::kTextSize]) {
    ReadSetting(kSectionFolders, name, "", out);
    if (out[0] != '\0') return;
    GetInstallProgramFilesPath(out);
    LFile::FilePathCat(out, name);
}

void GetDesktopShortcutPath(char (&out)[qdx::kTextSize]) {
    char folder[qdx::kTextSize];
    qdx::CopyText(folder, kDefaultDesktopFolder);
    ReadShellFolder(HKEY_CURRENT_USER, "Desktop", folder);
    ReadShellFolder(HKEY_LOCAL_MACHINE, "Common Desktop", folder);
    if (!JoinPath(out, folder, kDesktopShortcutName, ".lnk")) out[0] = '\0';
}

bool GetStartMenuGroupFolder(char (&out)[qdx::kTextSize]) {
    out[0] = '\0';
    ReadShellFolder(HKEY_CURRENT_USER, "Programs", out);
    ReadShellFolder(HKEY_LOCAL_MACHINE, "Common Programs", out);
    if (out[0] == '\0') return false;
    ::CreateDirectoryA(out, nullptr);
    LFile::FilePathCat(out, kStartMenuGroupName);
    return true;
}

void CreateStartMenuShortcut(const char* target, const char* name) {
    char group[qdx::kTextSize];
    if (!name || !GetStartMenuGroupFolder(group)) return;
    ::CreateDirectoryA(group, nullptr);
    char link[qdx::kTextSize];
    if (JoinPath(link, group, name, ".lnk")) CreateShellLink(link, target);
}

void DeleteStartMenuShortcut(const char* name) {
    char group[qdx::kTextSize];
    if (!name || !GetStartMenuGroupFolder(group)) return;
    char link[qdx::kTextSize];
    if (JoinPath(link, group, name, ".lnk")) ::DeleteFileA(link);
}

void RemoveStartMenuGroup() {
    char group[qdx::kTextSize];
    if (GetStartMenuGroupFolder(group)) ::RemoveDirectoryA(group);
}
