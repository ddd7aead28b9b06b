// File formats written by the generator: icon files with 32-bit images and an
// AND mask, 4-bit and 8-bit uncompressed bitmap files (bottom-up rows).
#pragma once

#include <cstdint>
#include <vector>

#include "canvas.h"

namespace artgen {

using Bytes = std::vector<uint8_t>;

struct PaletteEntry {
    uint8_t r, g, b;
};

// The standard 16-colour palette of 4-bit device-independent bitmaps.
const PaletteEntry* StandardPalette16();

// An .ico file holding the given images (each square, at most 256 pixels).
// Colour: 32-bit BGRA, transparent pixels stored as black; the AND mask marks
// pixels with alpha below one half, for readers that ignore alpha.
Bytes MakeIcoFile(const std::vector<const Canvas*>& images);

// A 4-bit .bmp file with the standard palette; indices row by row, top row first.
Bytes MakeBmp4(int width, int height, const std::vector<uint8_t>& indices);

// An 8-bit .bmp file with a 256-entry palette; indices row by row, top row first.
Bytes MakeBmp8(int width, int height, const std::vector<PaletteEntry>& palette, const std::vector<uint8_t>& indices);

// Reduces an opaque canvas to at most 256 colours (median cut) and maps every
// pixel to its nearest palette entry. The palette is padded to 256 entries.
void Quantize(const Canvas& canvas, std::vector<PaletteEntry>& palette, std::vector<uint8_t>& indices);

}  // namespace artgen
