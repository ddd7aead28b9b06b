#include "settings/datafolder.h"

#include <windows.h>

#include "core/lfile.h"
#include "settings/regtext.h"
#include "settings/settings.h"

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

void GetDataFolder(const char* name, char (&out)[qdx::kTextSize]) {
    ReadSetting(kSectionFolders, name, "", out);
    if (out[0] != '\0') return;
    GetInstallProgramFilesPath(out);
    LFile::FilePathCat(out, name);
}
