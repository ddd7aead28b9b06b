// The package's custom actions (qdxpreset.dll, carried in the package's
// Binary table and run by Windows Installer, never installed).
//
// CheckPresets, before costing: every preset property given is checked as the
// client would read it; a bad one ends the install with a message naming it,
// before anything is changed. For each setting it sets QDX_PRESET_<PROPERTY>
// to the text its Registry row writes: the given value, or else the value
// stored now, so that an upgrade or a repair rewrites what is there instead of
// resetting it. A setting neither given nor stored stays absent. It also picks
// the help the Start-menu help shortcut leads to, as the setup does, and
// keeps an install's choice of no desktop shortcut where DESKTOPSHORTCUT is
// not given.
//
// ShortcutFolders, before costing, at every run (removal included, so that
// it looks where the install put them): the Start-menu and desktop folders
// the setup puts its shortcuts in, the all-users ones where the system names
// them. Windows Installer gives the same for a per-machine install; Wine's
// gives the user's own.
//
// FolderValues, after costing: the install folder and the Logs folder as the
// "Folders" settings record them (without the trailing backslash that
// Windows Installer's folder properties carry), and the install folder as the
// Apps & features entry's place. Where the Logs folder does not exist yet,
// it names it for ApplyLogsAccess.
//
// ApplyLogsAccess (the action QdxApplyLogsAccess), deferred, as the system,
// once the folders are made: gives the Logs folder the setup's access list
// (setup/folderaccess.h), so that every user's client can write its log there. Only a folder this
// install made gets it, as with the setup.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <utility>

#include "core/helpfiles.h"
#include "core/presets.h"
#include "core/text.h"
#include "settings/regtext.h"
#include "settings/settings.h"
#include "setup/folderaccess.h"
#include "setup/folders.h"
#include "setup/helpsystem.h"

namespace {

struct Preset {
    const char* property;
    const char* valueName;
    qdx::PresetKind kind;
    const char* refusal;  // the message for a refused value: %s the property, %s its text
};

constexpr char kTextRefusal[] = "%s is longer than 259 characters.";
constexpr char kFlagRefusal[] = "%s=\"%s\" is not valid: give 1 (on) or 0 (off).";

constexpr Preset kPresets[] = {
    {"SERVER", kSettingServer, qdx::PresetKind::kServer,
     "%s=\"%s\" is not a valid server: give the recorder's host name or address, followed by :port "
     "(1 to 65535) where the recorder does not listen on the default port."},
    {"CHANNEL", kSettingRecordChannel, qdx::PresetKind::kChannel,
     "%s=\"%s\" is not a valid record channel: give a channel from 1 to 32."},
    {"USERNAME", kSettingUserName, qdx::PresetKind::kText, kTextRefusal},
    {"PASSWORD", kSettingPassword, qdx::PresetKind::kText, kTextRefusal},
    {"PROMPTFORDATA", kSettingPromptForData, qdx::PresetKind::kFlag, kFlagRefusal},
    {"USEHOTKEYS", kSettingUseHotKeys, qdx::PresetKind::kFlag, kFlagRefusal},
    {"PROMPT", kSettingPrompt, qdx::PresetKind::kText, kTextRefusal},
};

// A property's value; empty when it is not set or does not fit (a value the
// checks would refuse anyway is then reported as too long).
bool GetProperty(MSIHANDLE install, const char* name, char (&out)[qdx::kTextSize], bool& tooLong) {
    DWORD size = sizeof out;
    const UINT result = ::MsiGetPropertyA(install, name, out, &size);
    tooLong = result == ERROR_MORE_DATA;
    if (result != ERROR_SUCCESS) out[0] = '\0';
    return out[0] != '\0' || tooLong;
}

// Shows (or, unattended, logs) the error and ends the install.
UINT Refuse(MSIHANDLE install, const char* text) {
    const MSIHANDLE record = ::MsiCreateRecord(1);
    if (record) {
        ::MsiRecordSetStringA(record, 0, text);
        ::MsiProcessMessage(install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR),
                            record);
        ::MsiCloseHandle(record);
    }
    return ERROR_INSTALL_FAILURE;
}

void SetRegistryRowText(MSIHANDLE install, const char* property, const char* text) {
    char name[64];
    qdx::FormatText(name, sizeof name, "QDX_PRESET_%s", property);
    char escaped[qdx::kTextSize];
    ::MsiSetPropertyA(install, name, qdx::RegistryTableText(text, escaped) ? escaped : "");
}

// The folder property's path without its trailing backslash.
void SetFolderValue(MSIHANDLE install, const char* folderProperty, const char* valueProperty) {
    char path[qdx::kTextSize];
    bool tooLong = false;
    if (!GetProperty(install, folderProperty, path, tooLong) || tooLong) return;
    std::size_t n = lstrlenA(path);
    if (n > 3 && path[n - 1] == '\\') path[n - 1] = '\0';
    ::MsiSetPropertyA(install, valueProperty, path);
}

// DESKTOPSHORTCUT: "0" or "1" when given. Not given over an install of the
// package (an upgrade or a repair), the install's choice stands: no desktop
// shortcut now, none after.
UINT KeepDesktopShortcutChoice(MSIHANDLE install) {
    char given[qdx::kTextSize];
    bool tooLong = false;
    if (GetProperty(install, "DESKTOPSHORTCUT", given, tooLong)) {
        if (!tooLong && (given[0] == '0' || given[0] == '1') && !given[1]) return ERROR_SUCCESS;
        char text[qdx::kTextSize + 64];
        qdx::FormatText(text, sizeof text, kFlagRefusal, "DESKTOPSHORTCUT", tooLong ? "..." : given);
        return Refuse(install, text);
    }
    char installed[qdx::kTextSize], upgrading[qdx::kTextSize];
    if (!GetProperty(install, "Installed", installed, tooLong) &&
        !GetProperty(install, "WIX_UPGRADE_DETECTED", upgrading, tooLong))
        return ERROR_SUCCESS;
    char link[qdx::kTextSize];
    GetDesktopShortcutPath(link);
    if (link[0] && ::GetFileAttributesA(link) == INVALID_FILE_ATTRIBUTES)
        ::MsiSetPropertyA(install, "DESKTOPSHORTCUT", "0");
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall CheckPresets(MSIHANDLE install) {
    // Every given value is checked before any property is set.
    for (const Preset& preset : kPresets) {
        char given[qdx::kTextSize], setting[qdx::kTextSize];
        bool tooLong = false;
        if (!GetProperty(install, preset.property, given, tooLong)) continue;
        if (!tooLong && qdx::PresetSettingText(preset.kind, given, setting)) continue;
        char text[2 * qdx::kTextSize + 256];
        // The password is never repeated, not even in a message.
        const bool secret = preset.kind == qdx::PresetKind::kText;
        qdx::FormatText(text, sizeof text, tooLong || secret ? kTextRefusal : preset.refusal, preset.property,
                        given);
        return Refuse(install, text);
    }
    for (const Preset& preset : kPresets) {
        char given[qdx::kTextSize], setting[qdx::kTextSize];
        bool tooLong = false;
        if (GetProperty(install, preset.property, given, tooLong) &&
            qdx::PresetSettingText(preset.kind, given, setting)) {
            SetRegistryRowText(install, preset.property, setting);
            continue;
        }
        char key[qdx::kTextSize];
        qdx::FormatText(key, sizeof key, kSettingsKeyFormat, kSectionSettings);
        if (qdx::ReadRegistryText(HKEY_LOCAL_MACHINE, key, preset.valueName, setting, sizeof setting))
            SetRegistryRowText(install, preset.property, setting);
    }
    ::MsiSetPropertyA(install, "QDX_HELP_PAGES", HelpReaderInUse() == HelpReader::kBrowser ? "1" : "");
    return KeepDesktopShortcutChoice(install);
}

extern "C" __declspec(dllexport) UINT __stdcall ShortcutFolders(MSIHANDLE install) {
    const std::pair<const char*, const char*> folders[] = {{"Common Programs", "ProgramMenuFolder"},
                                                           {"Common Desktop", "DesktopFolder"}};
    for (const auto& [shellFolder, property] : folders) {
        char path[qdx::kTextSize];
        if (!qdx::ReadRegistryText(HKEY_LOCAL_MACHINE, kShellFoldersKey, shellFolder, path, sizeof path - 1) ||
            !path[0])
            continue;
        if (path[lstrlenA(path) - 1] != '\\') qdx::AppendText(path, "\\");
        ::MsiSetPropertyA(install, property, path);
    }
    return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall FolderValues(MSIHANDLE install) {
    SetFolderValue(install, "INSTALLDIR", "QDX_FOLDER_INSTALL");
    SetFolderValue(install, "LOGSDIR", "QDX_FOLDER_LOGS");
    SetFolderValue(install, "INSTALLDIR", "ARPINSTALLLOCATION");  // the entry's place, as the setup's has it
    char logs[qdx::kTextSize];
    bool tooLong = false;
    if (GetProperty(install, "QDX_FOLDER_LOGS", logs, tooLong) && !tooLong &&
        ::GetFileAttributesA(logs) == INVALID_FILE_ATTRIBUTES)
        ::MsiSetPropertyA(install, "QdxApplyLogsAccess", logs);  // the deferred action's data
    return ERROR_SUCCESS;
}

extern "C" __declspec(dllexport) UINT __stdcall ApplyLogsAccess(MSIHANDLE install) {
    char logs[qdx::kTextSize];
    bool tooLong = false;
    if (!GetProperty(install, "CustomActionData", logs, tooLong) || tooLong) return ERROR_SUCCESS;
    LogsFolderAccess access;
    access.ApplyTo(logs);  // as the setup: a failure leaves the inherited access
    return ERROR_SUCCESS;
}
