#include "core/presets.h"

#include "core/hostport.h"

namespace qdx {

namespace {

// Decimal digits only, no sign, no blanks: "07" is 7.
bool ParseDecimal(const char* text, int& value) {
    if (!text || !*text) return false;
    value = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9' || value > 1000) return false;
        value = value * 10 + (*c - '0');
    }
    return true;
}

}  // namespace

bool PresetSettingText(PresetKind kind, const char* given, char (&out)[kTextSize]) {
    if (!given) return false;
    switch (kind) {
    case PresetKind::kText:
        if (std::strlen(given) >= kTextSize) return false;  // the client reads no longer value
        CopyText(out, given);
        return true;
    case PresetKind::kServer: {
        char host[kTextSize];
        unsigned short port = 0;
        // The port the client would use without one does not matter here:
        // only a server text the client would refuse is refused.
        if (std::strlen(given) >= kTextSize || !SplitHostPort(given, host, 1, port) || !host[0]) return false;
        CopyText(out, given);
        return true;
    }
    case PresetKind::kChannel: {
        int channel = 0;
        if (!ParseDecimal(given, channel) || channel < 1 || channel > kPresetChannels) return false;
        FormatText(out, sizeof out, "%d", channel - 1);
        return true;
    }
    case PresetKind::kFlag:
        if ((given[0] != '0' && given[0] != '1') || given[1]) return false;
        CopyText(out, given);
        return true;
    }
    return false;
}

bool RegistryTableText(const char* text, char (&out)[kTextSize]) {
    if (!text) return false;
    const bool hash = text[0] == '#';
    if (std::strlen(text) + (hash ? 1 : 0) >= kTextSize) return false;
    out[0] = '\0';
    if (hash) AppendText(out, sizeof out, "#");
    AppendText(out, sizeof out, text);
    return true;
}

}  // namespace qdx
