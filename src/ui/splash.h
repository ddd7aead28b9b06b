// The about picture panel: a small window class "LAW" whose painting is done
// by an LSplashAboutBase object attached to the window (its address in
// GWLP_USERDATA). The panel shows bitmap 1 with the product name, version and
// distributor lines in a white band below it.
#pragma once

#include <windows.h>

extern const char kLawClass[];  // "LAW"

class LSplashAboutBase {
public:
    // Registers the "LAW" class; when it exists already the registration fails
    // and that is fine.
    LSplashAboutBase();
    virtual ~LSplashAboutBase() = default;
    LSplashAboutBase(const LSplashAboutBase&) = delete;
    LSplashAboutBase& operator=(const LSplashAboutBase&) = delete;

    // Set by the about box: draws a black separator along the panel's bottom.
    bool about = false;
    // The panel's DPI: the picture, its text and their margins are designed
    // at 96 DPI and scaled to it.
    UINT dpi = 96;

    // Width and height of the picture in pixels at the DPI, or 0 x 0 when it
    // cannot be loaded.
    SIZE GetBitmapSize() const;

    // Attaches this object to a panel window (the object must outlive it).
    void AttachTo(HWND panel) { ::SetWindowLongPtrA(panel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this)); }

    // WM_PAINT of the panel.
    void Paint(HWND panel) const;
    // Draws the panel's content into dc, whose origin is the panel's client
    // origin; the white background is the caller's (the class brush).
    void PaintContent(HDC dc, const RECT& client) const;

    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

// The main window's member: constructing it registers the "LAW" class.
class LSplashScreen : public LSplashAboutBase {};

// The distributor block drawn right-aligned beside the name and version.
extern const char kDistributorBlock[];
