// Screen capture for test artefacts: a rectangle of the screen as RGB pixels,
// written as an uncompressed PNG file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct Capture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // width * height * 3, top row first

    std::uint32_t Pixel(int x, int y) const {
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return (static_cast<std::uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2];
    }
};

// Copies the screen area `r` (screen coordinates). False when GDI fails.
bool CaptureScreenRect(const RECT& r, Capture& out);

// Writes the capture as a PNG file (stored deflate blocks, no compression).
bool WritePng(const std::string& path, const Capture& c);
