// The colours the log view and the level meter are drawn with: their own,
// or, in the system's high-contrast mode, the system's colours, so that a
// user who chose them for their eyes sees the program in them too. A pure
// choice over (high contrast on?, the system's colours), so it can be shown
// with any colours on any system.
#pragma once

#include <cstdint>

namespace contrast {

using Colour = std::uint32_t;  // 0x00bbggrr, as the system gives its colours

constexpr Colour Rgb(unsigned r, unsigned g, unsigned b) { return r | g << 8 | b << 16; }

// The system colours the choice draws on.
struct SystemColours {
    Colour window, windowText;        // a window's background and text
    Colour highlight, highlightText;  // a selection's background and text
    Colour buttonFace;                // the dialog's own surface
};

struct LogColours {
    Colour normalBack, normalText;
    Colour alertBack, alertText;
};

// The meter's segments are stripes: lit columns parted by dark ones, with a
// dark top line. `own` draws them from the program's bitmaps (and the other
// colours are its stock black, gray and white); otherwise they are made from
// these colours, the part above 0 dB solid instead of striped, so that the
// two parts differ in pattern and not only in colour.
struct MeterColours {
    bool own;
    Colour dark;      // the stripes' gaps and top line
    Colour low, high; // lit segments up to 0 dB and above it
    Colour beyond;    // past the level
    Colour disabled;  // the whole control while no recording runs
    Colour edge;      // the line along the bottom and the right
};

struct Scheme {
    LogColours log;
    MeterColours meter;
};

// The program's own colours, as they always were.
constexpr LogColours kOwnLog{Rgb(0, 51, 0), Rgb(68, 255, 68), Rgb(128, 0, 0), Rgb(255, 255, 255)};
constexpr MeterColours kOwnMeter{true,          Rgb(0, 0, 0),       Rgb(0, 255, 0),      Rgb(255, 0, 0),
                                 Rgb(0, 0, 0), Rgb(128, 128, 128), Rgb(255, 255, 255)};
constexpr Scheme kOwnScheme{kOwnLog, kOwnMeter};
// Own colours unless high contrast is on; then the system's.
Scheme ChooseScheme(bool highContrast, const SystemColours& system);

bool operator==(const LogColours& a, const LogColours& b);
bool operator==(const MeterColours& a, const MeterColours& b);

}  // namespace contrast
