#include "art_capture.h"

#include <cstdio>
#include <cstring>

DibCanvas::DibCanvas(int width, int height, COLORREF fill) : w_(width), h_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.Reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<unsigned char*>(bits);
    dc_.Reset(::CreateCompatibleDC(nullptr));
    previous_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    Fill(fill);
}

DibCanvas::~DibCanvas() {
    if (previous_) ::SelectObject(dc_.Get(), previous_);
}

void DibCanvas::Fill(COLORREF colour) {
    ::GdiFlush();
    for (int i = 0; i < w_ * h_; ++i) {
        bits_[i * 4 + 0] = GetBValue(colour);
        bits_[i * 4 + 1] = GetGValue(colour);
        bits_[i * 4 + 2] = GetRValue(colour);
        bits_[i * 4 + 3] = 0;
    }
}

COLORREF DibCanvas::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return CLR_INVALID;
    ::GdiFlush();
    const unsigned char* p = bits_ + (static_cast<size_t>(y) * w_ + x) * 4;
    return RGB(p[2], p[1], p[0]);
}

void DibCanvas::Blit(int x, int y, HDC from, int width, int height) {
    ::BitBlt(dc_.Get(), x, y, width, height, from, 0, 0, SRCCOPY);
}

bool DibCanvas::SaveBmp(const std::string& fileName) const {
    ::CreateDirectoryA("artefacts", nullptr);
    ::CreateDirectoryA("artefacts\\ui", nullptr);
    const std::string path = "artefacts\\ui\\" + fileName;
    ::GdiFlush();
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w_;
    info.biHeight = -h_;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    const DWORD pixels = static_cast<DWORD>(w_ * h_ * 4);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + pixels;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
              std::fwrite(bits_, 1, pixels, out) == pixels;
    return std::fclose(out) == 0 && ok;
}

void PumpMessages() {
    for (int round = 0; round < 5; ++round) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(10);
    }
}
