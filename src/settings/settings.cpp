// Settings store: one registry key per section below the product key, opened
// and closed around every access so that nothing is ever stale.
#include "settings/settings.h"

#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/handles.h"
#include "settings/regtext.h"

namespace {

// Fills keyPath with the section's key; false when the section name is too
// long to form a path (then nothing is read or written).
bool SectionKeyPath(const char* section, char (&keyPath)[qdx::kTextSize]) {
    if (!section) return false;
    int n = qdx::FormatText(keyPath, sizeof keyPath, kSettingsKeyFormat, section);
    return n > 0 && static_cast<std::size_t>(n) < sizeof keyPath;
}

}  // namespace

void ReadSetting(const char* section, const char* name, const char* defaultText, char (&out)[qdx::kTextSize]) {
    char keyPath[qdx::kTextSize];
    if (!SectionKeyPath(section, keyPath) ||
        !qdx::ReadRegistryText(HKEY_LOCAL_MACHINE, keyPath, name, out, sizeof out)) {
        qdx::CopyText(out, defaultText);
    }
}

void WriteSetting(const char* section, const char* name, const char* text) {
    char keyPath[qdx::kTextSize];
    if (!SectionKeyPath(section, keyPath)) return;
    qdx::UniqueRegKey key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, const_cast<char*>(""), 0, KEY_ALL_ACCESS, nullptr,
                          key.Put(), nullptr) != ERROR_SUCCESS)
        return;
    if (!text) text = "";
    ::RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                     static_cast<DWORD>(std::strlen(text) + 1));
}

int ReadSettingInt(const char* section, const char* name, int defaultValue) {
    char text[qdx::kTextSize];
    ReadSetting(section, name, "", text);
    if (text[0] == '\0') return defaultValue;
    // Leading blanks, a sign and digits; no digits gives 0. Out-of-range
    // numbers are held at the ends of int's range instead of wrapping.
    long long value = std::strtoll(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

void WriteSettingInt(const char* section, const char* name, int value) {
    char text[16];
    qdx::FormatText(text, sizeof text, "%d", value);
    WriteSetting(section, name, text);
}

bool ReadSettingBool(const char* section, const char* name, bool defaultValue) {
    char text[qdx::kTextSize];
    ReadSetting(section, name, "", text);
    if (text[0] == '\0') return defaultValue;
    return text[0] != '0';
}

void WriteSettingBool(const char* section, const char* name, bool value) {
    WriteSetting(section, name, value ? "1" : "0");
}
