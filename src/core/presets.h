// Settings an administrator presets through the Windows Installer package's
// public properties: whether a given text is sound, and the registry text it
// becomes. The package's custom action applies these before anything is
// installed.
#pragma once

#include "core/text.h"

namespace qdx {

enum class PresetKind {
    kText,     // stored as given (user name, password, prompt)
    kServer,   // "host" or "host:port", the port 1 to 65535, as the link reads it
    kChannel,  // "1" to "32" as the settings dialog lists them; stored as the list index "0" to "31"
    kFlag,     // "0" or "1"
};

constexpr int kPresetChannels = 32;

// The registry text for the text given for a property of that kind; false
// (out untouched) when the text is refused.
bool PresetSettingText(PresetKind kind, const char* given, char (&out)[kTextSize]);

// Text as the package's Registry table must carry it so that it is written as
// this very text: a leading '#' would make it a number or binary data, so it is
// doubled. False when the result does not fit.
bool RegistryTableText(const char* text, char (&out)[kTextSize]);

}  // namespace qdx
