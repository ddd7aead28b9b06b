// Where the product lives on disk: the install folder under Program Files and
// the data folders recorded in the settings section "Folders".
#pragma once

#include "core/text.h"

// Used when no Program Files location can be read.
constexpr char kDefaultInstallFolder[] = "C:\\QDX Remote Control";
constexpr char kMakerSubfolder[] = "\\Tallowind";
constexpr char kProductSubfolder[] = "\\QDXRemote";
// Below HKEY_LOCAL_MACHINE; its value ProgramFilesDir is the Program Files location.
constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kProgramFilesDirValue[] = "ProgramFilesDir";

// Sets out to the install folder (Program Files, maker, product; or the
// default folder) and creates it and its parents on disk. The install folder
// gets default security, inherited from Program Files.
void GetInstallProgramFilesPath(char (&out)[qdx::kTextSize]);

// The recorded data folder `name`, or the install folder followed by "\"
// and name when none is recorded (which creates the install folder on the way,
// but not the data folder).
void GetDataFolder(const char* name, char (&out)[qdx::kTextSize]);
