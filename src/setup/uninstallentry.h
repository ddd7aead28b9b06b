// The uninstall entry: the key below HKEY_LOCAL_MACHINE the system lists the
// product under and starts the uninstaller from.
#pragma once

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QDXRemote";

// The entry the system lists the product under, with what it shows of it:
// name, icon, version, publisher, place and size. Modify and Repair are not
// offered, as the product has neither. An entry that exists keeps its name and
// command (an administrator may have changed them); what describes this
// install is written anew.
// uninstallerPath: the uninstaller, which must be one (UNINSTALL_MARKER).
void WriteUninstallEntry(const char* installFolder, const char* program, const char* uninstallerPath);
