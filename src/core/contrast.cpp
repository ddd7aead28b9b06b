#include "core/contrast.h"

namespace contrast {

Scheme ChooseScheme(bool highContrast, const SystemColours& system) {
    if (!highContrast) return kOwnScheme;
    Scheme s{};
    // An alert shows as a selection does: the one pairing every
    // high-contrast scheme keeps apart from plain text.
    s.log = {system.window, system.windowText, system.highlight, system.highlightText};
    s.meter = {false,
               system.window,
               system.windowText,
               system.highlight,
               system.window,
               system.buttonFace,
               system.windowText};
    return s;
}

bool operator==(const LogColours& a, const LogColours& b) {
    return a.normalBack == b.normalBack && a.normalText == b.normalText && a.alertBack == b.alertBack &&
           a.alertText == b.alertText;
}

bool operator==(const MeterColours& a, const MeterColours& b) {
    return a.own == b.own && a.dark == b.dark && a.low == b.low && a.high == b.high && a.beyond == b.beyond &&
           a.disabled == b.disabled && a.edge == b.edge;
}

}  // namespace contrast
