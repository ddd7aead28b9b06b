#include "core/meter_geometry.h"

namespace meter {

namespace {
int Min(int a, int b) { return a < b ? a : b; }
int Max(int a, int b) { return a > b ? a : b; }
}  // namespace

int ClampLevel(int level) {
    if (level > kMaxLevel) return kMaxLevel;
    if (level < kMinLevel) return kMinLevel;
    return level;
}

int LevelPercent(int level) {
    return ((ClampLevel(level) - kMinLevel) * 100 + kRangeDb / 2) / kRangeDb;
}

int LevelX(int level, int width) {
    return (level - kMinLevel) * width / kRangeDb;
}

Size UsableSize(int clientWidth, int clientHeight, bool edge) {
    if (edge) {
        clientWidth -= kEdgeInset;
        clientHeight -= kEdgeInset;
    }
    // A control smaller than its edge has no room for bars at all.
    return Size{Max(clientWidth, 0), Max(clientHeight, 0)};
}

int RowTop(int channel, int count, int usableHeight) {
    return count > 0 ? channel * usableHeight / count : 0;
}

Span ChangeStrip(int channel, int count, int oldLevel, int newLevel, Size usable) {
    const int lo = Min(oldLevel, newLevel), hi = Max(oldLevel, newLevel);
    // One column more on the right: the pixel at the higher level's x belongs
    // to whichever part ends there.
    return Span{LevelX(lo, usable.width), RowTop(channel, count, usable.height), LevelX(hi, usable.width) + 1,
                RowTop(channel + 1, count, usable.height)};
}

RowParts SplitRow(int level, int usableWidth, int updateLeft, int updateRight) {
    RowParts parts{{0, 0}, {0, 0}, {0, 0}};
    // Green: from 0 to 0 dB, or to the level when it is below 0 dB.
    const int xg = LevelX(level >= 0 ? 0 : level, usableWidth);
    int end = xg;  // right end of the last part, clipped or not
    if (updateLeft < xg) {
        parts.green = Part{Max(0, updateLeft), Min(xg, updateRight)};
        end = parts.green.right;
    }
    // Red: from where green ended up to a positive level.
    if (level > 0) {
        const int xr = LevelX(level, usableWidth);
        int left = end, right = xr;
        if (updateLeft < xr && left < updateRight) {
            left = Max(left, updateLeft);
            right = Min(xr, updateRight);
            parts.red = Part{left, right};
        }
        end = right;
    }
    // Black: the rest of the update area.
    if (end < updateRight) parts.black = Part{Max(end, updateLeft), updateRight};
    return parts;
}

}  // namespace meter
