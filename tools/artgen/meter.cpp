#include "art.h"

namespace artgen {

// Each column triple is one dark and two lit pixels; the top row stays dark
// so that stacked bars are parted by a line.
std::vector<uint8_t> MeterSegmentIndices(bool red) {
    const uint8_t kBlack = 0;
    const uint8_t lit = red ? 9 : 10;  // pure red / pure green in the standard palette
    std::vector<uint8_t> px(static_cast<size_t>(kMeterBitmapWidth) * kMeterBitmapHeight, kBlack);
    for (int y = 1; y < kMeterBitmapHeight; ++y)
        for (int x = 0; x < kMeterBitmapWidth; ++x)
            px[static_cast<size_t>(y) * kMeterBitmapWidth + x] = (x % 3 == 0) ? kBlack : lit;
    return px;
}

}  // namespace artgen
