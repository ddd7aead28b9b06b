// Names and texts of the product that several layers share.
#pragma once

// The version as every caption and text that shows it spells it. A macro so
// that texts can join it at compile time: "... v " QDX_VERSION_TEXT.
#define QDX_VERSION_TEXT "1.00"

// The data folders: value names of the settings section "Folders", and the
// folder keys of the setup's file table. "ProgramFiles" and "DataFiles" are
// both the install folder itself.
constexpr char kFolderProgramFiles[] = "ProgramFiles";
constexpr char kFolderDataFiles[] = "DataFiles";
constexpr char kFolderLogs[] = "Logs";

// The upgrade code of the Windows Installer package (installer/qdxremote.wxs
// takes it from here through the build): the same for every version, so that
// each finds the others, and the setup finds an install the package owns.
constexpr char kPackageUpgradeCode[] = "{6C1F2A4E-3B8D-4E57-9A0C-D2E4F61B7A35}";
