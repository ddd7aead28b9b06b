// Rendering targets for the custom-control tests: a 32-bit top-down DIB
// section in a memory DC whose pixels can be read directly and saved as a
// .bmp file in artefacts\ui for people to look at.
#pragma once

#include <windows.h>

#include <string>

#include "common/handles.h"

class DibCanvas {
public:
    DibCanvas(int width, int height, COLORREF fill);
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;
    ~DibCanvas();

    HDC Dc() const { return dc_.Get(); }
    int Width() const { return w_; }
    int Height() const { return h_; }
    void Fill(COLORREF colour);
    COLORREF Pixel(int x, int y) const;  // RGB(), as GetPixel would give
    // Copies another canvas (or a window DC) into this one at (x, y).
    void Blit(int x, int y, HDC from, int width, int height);
    bool SaveBmp(const std::string& fileName) const;  // into the folder artefacts\ui

private:
    int w_, h_;
    qdx::UniqueMemoryDC dc_;
    qdx::UniqueGdiObject bitmap_;
    HGDIOBJ previous_ = nullptr;
    unsigned char* bits_ = nullptr;
};

inline bool IsDark(COLORREF c) {
    return GetRValue(c) * 3 + GetGValue(c) * 6 + GetBValue(c) < 128 * 10;
}

// Lets the window manager and the control handle what is queued.
void PumpMessages();
