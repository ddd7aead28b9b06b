// One install, one owner: an install the Windows Installer package made is
// the package's to upgrade, repair and remove. The setup package does not
// write over it, since Windows Installer would go on believing its own
// records of the files, shortcuts and entry, and a later repair or removal
// from a management tool would undo or break what the setup did.
#pragma once

constexpr char kPackageOwnsInstallText[] =
    "QDX Remote Control was installed on this computer with its Windows Installer package "
    "(qdxremote.msi).\n\nTo install this version, run the Windows Installer package of this version, or "
    "first remove QDX Remote Control in Apps & features (Programs and Features) and then run this setup "
    "again.\n\nNothing was changed.";

// True when Windows Installer lists a product of the package's upgrade code.
bool InstallerPackageOwnsInstall();

// The setup's check before anything is done: true (after telling the user
// why) when the setup must stop.
bool SetupRefusedForPackageInstall();
