// LDBDisplay: the level meter control. A child window of class "LDBDisplay"
// showing one horizontal bar per channel on a -36..+12 dB scale, green up to
// 0 dB, red above, black beyond the level, plain gray while disabled. Its
// state lives in the window's extra bytes (GWLP_USERDATA marks a value-change
// event waiting to be told to screen readers); the owner needs only its handle.
#pragma once

#include <windows.h>

#include "core/contrast.h"
#include "core/meter_geometry.h"

extern const char kLDBDisplayClass[];  // "LDBDisplay"

// Style bit of the control: the bars leave 2 pixels at the right and the
// bottom, and a white edge line is drawn along both.
constexpr DWORD kLDBDisplayEdge = 0x1000;

// One channel count and up to 256 signed levels in dB; the control uses the
// first `count` of them.
struct LevelRecord {
    unsigned char count;
    signed char levels[256];
};
static_assert(sizeof(LevelRecord) == 257, "level record is one count byte and 256 level bytes");

// Registers the window class unless the instance already has it. True when
// the class is available afterwards.
bool RegisterLDBDisplay(HINSTANCE instance);

// Shows new levels, repainting only the strip between each channel's old and
// new level (all of the control when the channel count changes). Levels are
// clamped to the scale. A null control is ignored; so is a record with more
// channels than the control keeps (8), which would run past its level words.
void SetLevels(HWND control, const LevelRecord& record);

// The colours every meter of the process draws with from now on (the system's
// in high contrast, the own patterns otherwise); the control's patterns are
// made again in them and it is repainted. A null control only sets them;
// the colours in use change nothing.
void SetLDBDisplayColours(HWND control, const contrast::MeterColours& colours);

// What the paint code needs of one control, read from its window.
struct LDBDisplayState {
    int count;  // channels, 0..8
    signed char levels[meter::kMaxChannels];
    bool enabled;
    bool edge;
    int clientWidth, clientHeight;
    HBRUSH green, red;  // the control's pattern brushes (its segments up to 0 dB and above)
    contrast::MeterColours colours;
};
LDBDisplayState ReadLDBDisplayState(HWND control);

// Paints the part `update` of a control with the given state into dc, whose
// origin is the control's client origin. Used by WM_PAINT and WM_PRINTCLIENT.
void PaintLDBDisplay(HDC dc, const RECT& update, const LDBDisplayState& state);

// Byte offsets of the window extra bytes. The count and the level words come
// first; the four GDI handles follow at offset 18, each in a slot of the
// platform's pointer width (so 34 bytes in all on 32-bit Windows).
namespace ldbdisplay_layout {
constexpr int kCount = 0;
constexpr int Level(int channel) { return 2 + 2 * channel; }
constexpr int kHandles = Level(meter::kMaxChannels);
enum HandleSlot { kGreenBitmap, kRedBitmap, kGreenBrush, kRedBrush, kHandleSlots };
constexpr int Handle(int slot) { return kHandles + slot * static_cast<int>(sizeof(LONG_PTR)); }
constexpr int kExtraBytes = Handle(kHandleSlots);
}  // namespace ldbdisplay_layout
