#include "ui/dpi.h"

#include "common/systemdll.h"

UINT WindowDpi(HWND window) {
    // Looked up, not imported: the program also runs on systems older than
    // the function, which then have one DPI for every window. (Looked up at
    // each call: it is rare, and a function-level static would bring in the
    // library's thread-safe initialisation and its exception handling.)
    const auto dpiForWindow = qdx::LoadedFunction<UINT(WINAPI*)(HWND)>("user32.dll", "GetDpiForWindow");
    if (dpiForWindow && window) {
        const UINT dpi = dpiForWindow(window);
        if (dpi) return dpi;
    }
    UINT dpi = 0;
    if (HDC screen = ::GetDC(nullptr)) {
        dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSY));
        ::ReleaseDC(nullptr, screen);
    }
    return dpi ? dpi : kBaseDpi;
}

void KeepControlFontOnDpiChange(HWND control) {
    constexpr DWORD kDisableFontUpdate = 1;  // DCDC_DISABLE_FONT_UPDATE
    const auto setBehavior = qdx::LoadedFunction<BOOL(WINAPI*)(HWND, DWORD, DWORD)>(
        "user32.dll", "SetDialogControlDpiChangeBehavior");
    if (setBehavior && control) setBehavior(control, kDisableFontUpdate, kDisableFontUpdate);
}

int SystemMetricForDpi(int index, UINT dpi) {
    const auto forDpi = qdx::LoadedFunction<int(WINAPI*)(int, UINT)>("user32.dll", "GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : ::GetSystemMetrics(index);
}

HBITMAP LoadBitmapForDpi(HINSTANCE instance, LPCSTR name, UINT dpi) {
    HBITMAP bitmap = static_cast<HBITMAP>(::LoadImageA(instance, name, IMAGE_BITMAP, 0, 0, 0));
    if (!bitmap || dpi == kBaseDpi) return bitmap;
    BITMAP info;
    if (::GetObjectA(bitmap, sizeof info, &info) != sizeof info) return bitmap;
    // Copied to the new size (and the original deleted); on failure the
    // original size is better than nothing.
    HBITMAP scaled = static_cast<HBITMAP>(::CopyImage(bitmap, IMAGE_BITMAP, ScaleForDpi(info.bmWidth, dpi),
                                                      ScaleForDpi(info.bmHeight, dpi), 0));
    if (!scaled) return bitmap;
    ::DeleteObject(bitmap);
    return scaled;
}

HICON LoadIconForDpi(HINSTANCE instance, LPCSTR name, int size, UINT dpi) {
    const int pixels = ScaleForDpi(size, dpi);
    return static_cast<HICON>(::LoadImageA(instance, name, IMAGE_ICON, pixels, pixels, 0));
}

UINT TaskbarDpi() { return WindowDpi(::FindWindowA("Shell_TrayWnd", nullptr)); }
