// Pixels for the tests: a 32-bit top-down DIB section in a memory DC. Controls
// paint into it (WM_PRINTCLIENT, WM_PRINT), the screen is copied into it, its
// pixels are read back, and it is saved as a PNG file under artefacts\ for
// people to look at. Where GDI cannot make it (32-bit programs under Wine's
// wow64 mode) it is empty: every pixel reads CLR_INVALID and nothing is saved.
#pragma once

#include <windows.h>

#include <string>

#include "common/handles.h"

namespace qdxtest {

class Canvas {
public:
    Canvas(int width, int height, COLORREF fill = RGB(0, 0, 0));
    Canvas(Canvas&& other) noexcept;
    Canvas& operator=(Canvas&&) = delete;
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas();

    bool Valid() const { return bits_ != nullptr; }
    HDC Dc() const { return dc_.Get(); }
    int Width() const { return w_; }
    int Height() const { return h_; }
    void Fill(COLORREF colour);
    COLORREF Pixel(int x, int y) const;  // as GetPixel would give it
    template <typename Test>
    int CountIf(Test test) const {
        int n = 0;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) n += test(Pixel(x, y)) ? 1 : 0;
        return n;
    }
    int Count(COLORREF colour) const {
        return CountIf([colour](COLORREF c) { return c == colour; });
    }
    // Copies `width` x `height` pixels of a DC from (fromX, fromY) to (x, y).
    bool Blit(int x, int y, HDC from, int width, int height, int fromX = 0, int fromY = 0);
    // Writes artefacts\<folder>\<name>.png below the working directory.
    bool Save(const char* folder, const std::string& name) const;

private:
    int w_, h_;
    qdx::UniqueMemoryDC dc_;
    qdx::UniqueGdiObject bitmap_;
    HGDIOBJ previous_ = nullptr;
    unsigned char* bits_ = nullptr;
};

// The screen in `area` (screen coordinates); empty when it cannot be read.
Canvas CaptureScreen(const RECT& area);
// A window as the screen shows it: its whole frame, or `area` of the screen,
// after the window and its children were redrawn.
Canvas CaptureWindow(HWND window, const RECT* area = nullptr);

inline bool IsDark(COLORREF c) { return GetRValue(c) * 3 + GetGValue(c) * 6 + GetBValue(c) < 128 * 10; }

}  // namespace qdxtest
