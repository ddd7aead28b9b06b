// Settings store: text values under HKEY_LOCAL_MACHINE "Software\Tallowind\QDXRemote\<section>".
// Every value is REG_SZ; nothing is cached, so every read sees the latest write.
#pragma once

#include "core/product.h"
#include "core/text.h"

// Section (subkey) names.
constexpr char kSectionSettings[] = "Settings";
constexpr char kSectionFolders[] = "Folders";

// Value names of the "Settings" section.
constexpr char kSettingServer[] = "Server";
constexpr char kSettingRecordChannel[] = "RecordChannel";
constexpr char kSettingUserName[] = "UserName";
constexpr char kSettingPassword[] = "Password";
constexpr char kSettingPromptForData[] = "PromptForData";
constexpr char kSettingUseHotKeys[] = "UseHotKeys";
constexpr char kSettingPrompt[] = "Prompt";
constexpr char kSettingPromptPrevious[] = "PromptPrevious";
// "WinHelp" or "Browser" forces the help reader; absent lets the system
// decide (core/helpfiles.h).
constexpr char kSettingHelpReader[] = "HelpReader";
// Seconds of silence on the line in a recording before the alert; 0 turns it off.
constexpr char kSettingSilenceSeconds[] = "SilenceSeconds";
// Value names of the "Folders" section: see core/product.h.

// Defaults used when a value is missing (the "Logs" folder's default is
// computed from the install folder, see settings/datafolder.h).
constexpr char kDefaultServer[] = "";                 // the connection worker: no server set
constexpr char kDefaultServerInDialog[] = "localhost";  // the settings dialog's field
constexpr int kDefaultRecordChannel = 0;
constexpr char kDefaultUserName[] = "";
constexpr char kDefaultPassword[] = "";
constexpr bool kDefaultPromptForData = false;
constexpr bool kDefaultUseHotKeys = true;
constexpr char kDefaultPrompt[] = "Enter file number";
constexpr char kDefaultPromptPrevious[] = "";
constexpr int kDefaultSilenceSeconds = 15;

// The product key below HKEY_LOCAL_MACHINE; a section is a subkey of it.
constexpr char kSettingsKeyFormat[] = "Software\\Tallowind\\QDXRemote\\%s";

// Reads a text value into out; a missing value, a value that does not fit
// (260 characters or more), a value that is not text (only REG_SZ and
// REG_EXPAND_SZ, the latter unexpanded, count as text) or any registry error
// gives a copy of defaultText. An empty stored value stays empty.
void ReadSetting(const char* section, const char* name, const char* defaultText, char (&out)[qdx::kTextSize]);
// Writes a REG_SZ value; failures are dropped silently.
void WriteSetting(const char* section, const char* name, const char* text);
// Decimal integer; an empty or missing value gives defaultValue.
int ReadSettingInt(const char* section, const char* name, int defaultValue);
void WriteSettingInt(const char* section, const char* name, int value);
// Flag "1"/"0"; empty or missing gives defaultValue; a leading digit 0 is false, anything else true.
bool ReadSettingBool(const char* section, const char* name, bool defaultValue);
void WriteSettingBool(const char* section, const char* name, bool value);
