// Owners for Win32 handles: one owner per handle, released in the destructor,
// movable but never copied.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace qdx {

// Generic owner; Traits gives the invalid value and the release call.
template <typename Traits>
class UniqueOwner {
public:
    using Handle = typename Traits::Handle;

    UniqueOwner() noexcept : h_(Traits::Invalid()) {}
    explicit UniqueOwner(Handle h) noexcept : h_(h) {}
    ~UniqueOwner() { Reset(); }

    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : h_(other.Release()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const noexcept { return h_; }
    bool Valid() const noexcept { return h_ != Traits::Invalid(); }
    explicit operator bool() const noexcept { return Valid(); }

    // Gives up ownership without releasing.
    Handle Release() noexcept {
        Handle h = h_;
        h_ = Traits::Invalid();
        return h;
    }
    void Reset(Handle h = Traits::Invalid()) noexcept {
        if (h_ != Traits::Invalid()) Traits::Close(h_);
        h_ = h;
    }
    // For out-parameters of API calls: releases what is held and hands out the slot.
    Handle* Put() noexcept {
        Reset();
        return &h_;
    }

private:
    Handle h_;
};

struct KernelHandleTraits {  // events, threads, processes (null when absent)
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile results (INVALID_HANDLE_VALUE when absent)
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::RegCloseKey(h); }
};
struct GdiObjectTraits {  // brushes, pens, fonts, bitmaps
    using Handle = HGDIOBJ;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};
template <typename T>
struct TypedGdiObjectTraits {  // the same, keeping the object's own handle type
    using Handle = T;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};
struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DestroyIcon(h); }
};
struct MenuTraits {
    using Handle = HMENU;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DestroyMenu(h); }
};
struct MemoryDCTraits {  // CreateCompatibleDC results
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DeleteDC(h); }
};
struct WindowTraits {  // windows that an object creates and must destroy
    using Handle = HWND;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::DestroyWindow(h); }
};
struct ImageListTraits {
    using Handle = HIMAGELIST;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::ImageList_Destroy(h); }
};
struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::LocalFree(h); }
};

using UniqueHandle = UniqueOwner<KernelHandleTraits>;
using UniqueFile = UniqueOwner<FileHandleTraits>;
using UniqueRegKey = UniqueOwner<RegKeyTraits>;
using UniqueGdiObject = UniqueOwner<GdiObjectTraits>;
using UniqueBrush = UniqueOwner<TypedGdiObjectTraits<HBRUSH>>;
using UniqueFont = UniqueOwner<TypedGdiObjectTraits<HFONT>>;
using UniqueIcon = UniqueOwner<IconTraits>;
using UniqueMenu = UniqueOwner<MenuTraits>;
using UniqueMemoryDC = UniqueOwner<MemoryDCTraits>;
using UniqueWindow = UniqueOwner<WindowTraits>;
using UniqueLocal = UniqueOwner<LocalMemoryTraits>;
using UniqueImageList = UniqueOwner<ImageListTraits>;

// A second handle of this process on the same kernel object (an event, a
// mutex); null when h is null or the system refuses. The caller owns it.
inline HANDLE DuplicateOwnHandle(HANDLE h) noexcept {
    HANDLE copy = nullptr;
    if (!h) return nullptr;
    HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, h, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) return nullptr;
    return copy;
}

// Gives a window or a control a new icon through a message that answers with
// the icon it replaces (WM_SETICON, or BM_SETIMAGE with IMAGE_ICON), and
// destroys that one: neither the window nor the button frees its icons. The
// window takes over `icon`; a null icon takes the current one away.
inline void ReplaceIcon(HWND window, UINT message, WPARAM which, HICON icon) noexcept {
    HICON previous =
        reinterpret_cast<HICON>(::SendMessageA(window, message, which, reinterpret_cast<LPARAM>(icon)));
    if (previous && previous != icon) ::DestroyIcon(previous);  // the same icon given again stays
}

// Selects a GDI object into a DC for the length of a scope.
class ScopedSelect {
public:
    ScopedSelect(HDC dc, HGDIOBJ obj) noexcept : dc_(dc), old_(obj ? ::SelectObject(dc, obj) : nullptr) {}
    ~ScopedSelect() {
        if (old_) ::SelectObject(dc_, old_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// BeginPaint/EndPaint pair.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND hwnd) noexcept : hwnd_(hwnd) { dc_ = ::BeginPaint(hwnd, &ps_); }
    ~ScopedPaint() { ::EndPaint(hwnd_, &ps_); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;
    HDC Dc() const noexcept { return dc_; }
    const RECT& Area() const noexcept { return ps_.rcPaint; }

private:
    HWND hwnd_;
    HDC dc_;
    PAINTSTRUCT ps_;
};

// GetDC/ReleaseDC pair.
class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
    ~ScopedWindowDC() {
        if (dc_) ::ReleaseDC(hwnd_, dc_);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;
    HDC Dc() const noexcept { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

}  // namespace qdx
