// Geometry of the level meter, free of any window: the decibel scale, the
// rows of the channels, the strip a level change repaints and how one row
// splits into its green, red and black parts within an update area.
#pragma once

namespace meter {

constexpr int kMinLevel = -36;  // dB at the left edge
constexpr int kMaxLevel = 12;   // dB at the right edge
constexpr int kRangeDb = kMaxLevel - kMinLevel;
constexpr int kMaxChannels = 8;  // level words the control keeps
constexpr int kEdgeInset = 2;    // width and height given up to the edge line

struct Span {  // a rectangle, right and bottom exclusive
    int left, top, right, bottom;
};

struct Size {
    int width, height;
};

int ClampLevel(int level);

// A level as a share of the scale in percent, rounded: 0 at the left edge,
// 100 at the right (what a screen reader is told of the meter).
int LevelPercent(int level);

// x of a level on a scale of the given usable width (integer, truncating).
int LevelX(int level, int width);

// The area the bars use: the client area, less the edge when the control has one.
Size UsableSize(int clientWidth, int clientHeight, bool edge);

// Rows of channel i of count: [RowTop(i), RowTop(i + 1)).
int RowTop(int channel, int count, int usableHeight);

// What to invalidate when channel i moves from one level to another
// (both already clamped): the columns between them, in that channel's row.
Span ChangeStrip(int channel, int count, int oldLevel, int newLevel, Size usable);

struct Part {
    int left, right;  // x range; nothing to fill unless left < right
    bool Fills() const { return left < right; }
};
struct RowParts {
    Part green, red, black;
};

// Splits one row for painting the columns [updateLeft, updateRight): green up
// to 0 dB or the level, red from 0 dB to a positive level, black to the
// update's right edge; every part clipped to the update columns.
RowParts SplitRow(int level, int usableWidth, int updateLeft, int updateRight);

}  // namespace meter
