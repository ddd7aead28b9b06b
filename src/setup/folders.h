// The setup's folders: the data folders it makes, the desktop and Start-menu
// folders, and shortcut files. No operation reports a failure; the callers go
// on regardless. The install folder and the recorded data folders are the
// settings' (settings/datafolder.h).
#pragma once

#include "core/text.h"
#include "settings/datafolder.h"

constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kDefaultDesktopFolder[] = "c:\\Windows\\Desktop";
constexpr char kStartMenuGroupName[] = "QDX Remote Control";
constexpr char kDesktopShortcutName[] = "QDX Remote Control";

// Creates the subfolder `name` of installFolder and records its path in the
// settings section "Folders" under that name. The "Logs" folder is made
// writable for every user, since the client runs as an ordinary user.
void CreateDataFolder(const char* installFolder, const char* name);

// Full path of the desktop shortcut file; the all-users desktop wins over the
// current user's, "c:\Windows\Desktop" when neither is known.
void GetDesktopShortcutPath(char (&out)[qdx::kTextSize]);

// The Start-menu group folder (the programs folder, which is created, and
// "\QDX Remote Control", which is not); false when no programs folder is known.
bool GetStartMenuGroupFolder(char (&out)[qdx::kTextSize]);

void CreateStartMenuShortcut(const char* target, const char* name);
void DeleteStartMenuShortcut(const char* name);
// Removes the group folder if it is empty.
void RemoveStartMenuGroup();

// Writes a shortcut file pointing at target, replacing an existing one
// (shelllink.cpp).
void CreateShellLink(const char* shortcutPath, const char* target);
