// Data folders, desktop and Start-menu folders.
#include "setup/folders.h"

#include <windows.h>

#include <cstdio>

#include "core/lfile.h"
#include "settings/regtext.h"
#include "settings/settings.h"
#include "setup/folderaccess.h"

namespace {

// Reads a shell folder value into out when the key opens and the value is
// text that fits; otherwise out keeps what it held.
void ReadShellFolder(HKEY root, const char* value, char (&out)[qdx::kTextSize]) {
    qdx::ReadRegistryText(root, kShellFoldersKey, value, out, sizeof out);
}

// Forms "%s\%s<suffix>" into out; false when it does not fit (the caller then
// leaves the file alone rather than use a cut path that names another file).
bool JoinPath(char (&out)[qdx::kTextSize], const char* folder, const char* name, const char* suffix) {
    int n = qdx::FormatText(out, sizeof out, "%s\\%s%s", folder, name, suffix);
    return n > 0 && static_cast<std::size_t>(n) < sizeof out;
}

}  // namespace

void CreateDataFolder(const char* installFolder, const char* name) {
    if (!installFolder || !name) return;
    char path[qdx::kTextSize];
    if (!JoinPath(path, installFolder, name, "")) return;
    // Only a folder made now gets the Logs access list; one that exists keeps
    // whatever its owner gave it.
    if (::CreateDirectoryA(path, nullptr) && lstrcmpiA(name, kFolderLogs) == 0) {
        LogsFolderAccess access;
        access.ApplyTo(path);
    }
    WriteSetting(kSectionFolders, name, path);
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
