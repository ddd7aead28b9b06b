// The artwork of the program: what each file is and how it is drawn.
#pragma once

#include <string>
#include <vector>

#include "formats.h"

namespace artgen {

enum class LampColour { Orange, Grey, Red };

// A round glossy lamp of the given size (32 or 16 pixels).
Canvas DrawLamp(LampColour colour, int size);
// The segment pattern of the level meter: 9 x 32 standard-palette indices.
std::vector<uint8_t> MeterSegmentIndices(bool red);
// The product picture of the about box, 340 x 198.
Canvas DrawAboutPicture();

struct ArtFile {
    std::string name;  // file name within the art folder
    Bytes bytes;
};
// Every file of the art folder, in a fixed order.
std::vector<ArtFile> MakeAllArt();
// Writes every art file into the folder; false (with a message) on failure.
bool WriteAllArt(const std::string& folder, std::string& error);

constexpr int kMeterBitmapWidth = 9;
constexpr int kMeterBitmapHeight = 32;
constexpr int kAboutWidth = 340;
constexpr int kAboutHeight = 198;

}  // namespace artgen
