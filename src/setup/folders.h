// Where the product lives on disk: the install folder, the data folders
// recorded in the settings, the desktop and Start-menu folders, and shortcut
// files. No operation reports a failure; the callers go on regardless.
#pragma once

#include "common/text.h"


// Used when no Program Files location can be read.
constexpr char kDefaultInstallFolder[] = "C:\\QDX Remote Control";
constexpr char kMakerSubfolder[] = "\\Tallowind";
constexpr char kProductSubfolder[] = "\\QDXRemote";
constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kProgramFilesDirValue[] = "ProgramFilesDir";
constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kDefaultDesktopFolder[] = "c:\\Windows\\Desktop";
constexpr char kStartMenuGroupName[] = "QDX Remote Control";
constexpr char kDesktopShortcutName[] = "QDX Remote Control";

// Sets out to the install folder (Program Files, maker, product; or the
// default folder) and creates it and its parents on disk. The install folder
// gets default security, inherited from Program Files.
void GetInstallProgramFilesPath(char (&out)[qdx::kTextSize]);

// Creates the subfolder `name` of installFolder and records its path in the
// settings section "Folders" under that name. The "Logs" folder is made
// writable for every user, since the client runs as an ordinary user.
void CreateDataFolder(const char* installFolder, const char* name);

// The recorded data folder `name`, or the install folder followed by "\"
// and name when none is recorded (which creates the install folder on the way,
// but not the data folder).
void GetDataFolder(const char* name, char (&out)[qdx::kTextSize]);

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

// Writes a shortcut file pointing at target, replacing an existing one.
void CreateShellLink(const char* shortcutPath, const char* target);
