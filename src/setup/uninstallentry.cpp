#include "setup/uninstallentry.h"

#include <windows.h>

#include <cstdint>

#include "common/handles.h"
#include "core/package.h"
#include "core/product.h"
#include "core/text.h"

namespace {

constexpr char kUninstallDisplayName[] = "QDX Remote Control Uninstall";
constexpr char kPublisher[] = "Tallowind";

void SetRegistryText(HKEY key, const char* name, const char* text) {
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>(lstrlenA(text) + 1));
}

void SetRegistryNumber(HKEY key, const char* name, DWORD value) {
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Bytes of a file, 0 when it is not there.
std::uint64_t FileBytes(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
    return static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// Kilobytes, rounded up, of the files the install leaves: the packaged files
// as they now stand in the install folder, and the uninstaller.
DWORD InstalledKilobytes(const char* installFolder, const char* uninstaller) {
    std::uint64_t bytes = FileBytes(uninstaller);
    for (std::size_t i = 0; i < kSetupFileCount; ++i) {
        char target[qdx::kTextSize];
        if (SetupTargetPath(installFolder, SetupFileTable[i], target)) bytes += FileBytes(target);
    }
    const std::uint64_t kilobytes = (bytes + 1023) / 1024;
    return kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(kilobytes);
}

}  // namespace

void WriteUninstallEntry(const char* installFolder, const char* program, const char* uninstallerPath) {
    qdx::UniqueRegKey entry;
    DWORD disposition = 0;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, const_cast<char*>(""),
                          REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, entry.Put(),
                          &disposition) != ERROR_SUCCESS)
        return;
    if (disposition == REG_CREATED_NEW_KEY) {
        SetRegistryText(entry.Get(), "DisplayName", kUninstallDisplayName);
        // The system runs this value as a command line, and the path has spaces
        // ("Program Files"): unquoted, it would start "C:\Program" or the like.
        char command[qdx::kTextSize + 2];
        if (qdx::FormatText(command, sizeof command, "\"%s\"", uninstallerPath) >= 0)
            SetRegistryText(entry.Get(), "UninstallString", command);
    }
    SetRegistryText(entry.Get(), "DisplayIcon", program);
    SetRegistryText(entry.Get(), "DisplayVersion", QDX_VERSION_TEXT);
    SetRegistryText(entry.Get(), "Publisher", kPublisher);
    SetRegistryText(entry.Get(), "InstallLocation", installFolder);
    SetRegistryNumber(entry.Get(), "EstimatedSize", InstalledKilobytes(installFolder, uninstallerPath));
    SetRegistryNumber(entry.Get(), "NoModify", 1);
    SetRegistryNumber(entry.Get(), "NoRepair", 1);
}
