#include "canvas.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace qdxtest {
namespace {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t n) {
    static std::uint32_t table[256];
    static bool ready = false;
    if (!ready) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        ready = true;
    }
    std::uint32_t crc = ~0u;
    for (std::size_t i = 0; i < n; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void Chunk(std::vector<std::uint8_t>& png, const char* type, const std::vector<std::uint8_t>& data) {
    PutBE32(png, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    PutBE32(png, Crc32(body.data(), body.size()));
}

// An 8-bit RGB PNG of rows that start with their filter byte, in stored
// (uncompressed) deflate blocks.
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& raw) {
    std::vector<std::uint8_t> z{0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    for (std::size_t at = 0;;) {
        const std::size_t n = raw.size() - at > 65535 ? 65535 : raw.size() - at;
        const bool last = at + n == raw.size();
        z.insert(z.end(), {static_cast<std::uint8_t>(last ? 1 : 0), static_cast<std::uint8_t>(n & 0xFF),
                           static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(~n & 0xFF),
                           static_cast<std::uint8_t>((~n >> 8) & 0xFF)});
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        at += n;
        if (last) break;
    }
    PutBE32(z, (b << 16) | a);
    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBE32(header, static_cast<std::uint32_t>(width));
    PutBE32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

}  // namespace

Canvas::Canvas(int width, int height, COLORREF fill) : w_(width > 0 ? width : 0), h_(height > 0 ? height : 0) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w_;
    info.bmiHeader.biHeight = -h_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    if (w_ > 0 && h_ > 0) bitmap_.Reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    dc_.Reset(::CreateCompatibleDC(nullptr));
    if (!bitmap_ || !dc_ || !bits) return;
    previous_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    bits_ = static_cast<unsigned char*>(bits);
    Fill(fill);
}

Canvas::Canvas(Canvas&& other) noexcept
    : w_(other.w_), h_(other.h_), dc_(std::move(other.dc_)), bitmap_(std::move(other.bitmap_)),
      previous_(other.previous_), bits_(other.bits_) {
    other.previous_ = nullptr;
    other.bits_ = nullptr;
}

Canvas::~Canvas() {
    if (previous_) ::SelectObject(dc_.Get(), previous_);
}

void Canvas::Fill(COLORREF colour) {
    if (!bits_) return;
    ::GdiFlush();
    for (int i = 0; i < w_ * h_; ++i) {
        bits_[i * 4 + 0] = GetBValue(colour);
        bits_[i * 4 + 1] = GetGValue(colour);
        bits_[i * 4 + 2] = GetRValue(colour);
        bits_[i * 4 + 3] = 0;
    }
}

COLORREF Canvas::Pixel(int x, int y) const {
    if (!bits_ || x < 0 || y < 0 || x >= w_ || y >= h_) return CLR_INVALID;
    ::GdiFlush();
    const unsigned char* p = bits_ + (static_cast<std::size_t>(y) * w_ + x) * 4;
    return RGB(p[2], p[1], p[0]);
}

bool Canvas::Blit(int x, int y, HDC from, int width, int height, int fromX, int fromY) {
    return bits_ && ::BitBlt(dc_.Get(), x, y, width, height, from, fromX, fromY, SRCCOPY);
}

bool Canvas::Save(const char* folder, const std::string& name) const {
    if (!bits_) return false;
    const std::string dir = std::string("artefacts\\") + folder;
    ::CreateDirectoryA("artefacts", nullptr);
    ::CreateDirectoryA(dir.c_str(), nullptr);
    ::GdiFlush();
    std::vector<std::uint8_t> raw;  // per row: filter byte 0, then RGB
    raw.reserve(static_cast<std::size_t>(h_) * (w_ * 3 + 1));
    for (int y = 0; y < h_; ++y) {
        raw.push_back(0);
        for (int x = 0; x < w_; ++x) {
            const unsigned char* p = bits_ + (static_cast<std::size_t>(y) * w_ + x) * 4;
            raw.insert(raw.end(), {p[2], p[1], p[0]});
        }
    }
    const std::vector<std::uint8_t> png = EncodePng(w_, h_, raw);
    std::FILE* out = std::fopen((dir + "\\" + name + ".png").c_str(), "wb");
    if (!out) return false;
    const bool ok = std::fwrite(png.data(), 1, png.size(), out) == png.size();
    return std::fclose(out) == 0 && ok;
}

Canvas CaptureScreen(const RECT& area) {
    Canvas shot(area.right - area.left, area.bottom - area.top);
    qdx::ScopedWindowDC screen(nullptr);
    if (screen.Dc() && shot.Blit(0, 0, screen.Dc(), shot.Width(), shot.Height(), area.left, area.top)) return shot;
    return Canvas(0, 0);
}

Canvas CaptureWindow(HWND window, const RECT* area) {
    RECT r{};
    if (area) r = *area;
    else ::GetWindowRect(window, &r);
    // The frame too: it may not have been painted since the window was mapped.
    ::RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::Sleep(200);
    return CaptureScreen(r);
}

}  // namespace qdxtest
