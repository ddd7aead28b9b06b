#include "formats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>

namespace artgen {

namespace {

void Put16(Bytes& out, unsigned v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// BITMAPINFOHEADER
void PutInfoHeader(Bytes& out, int width, int height, int bits, uint32_t imageSize, uint32_t colours) {
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(bits));
    Put32(out, 0);  // BI_RGB
    Put32(out, imageSize);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, 0);
}

size_t RowBytes(int width, int bits) { return ((static_cast<size_t>(width) * bits + 31) / 32) * 4; }

Bytes MakeBmp(int width, int height, int bits, const PaletteEntry* palette, int colours, const std::vector<uint8_t>& indices) {
    const size_t row = RowBytes(width, bits);
    const uint32_t imageSize = static_cast<uint32_t>(row * height);
    const uint32_t offBits = 14 + 40 + 4u * colours;
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offBits + imageSize);
    Put32(out, 0);
    Put32(out, offBits);
    PutInfoHeader(out, width, height, bits, imageSize, static_cast<uint32_t>(colours));
    for (int i = 0; i < colours; ++i) {
        out.push_back(palette[i].b);
        out.push_back(palette[i].g);
        out.push_back(palette[i].r);
        out.push_back(0);
    }
    for (int y = height - 1; y >= 0; --y) {  // bottom-up
        Bytes line(row, 0);
        for (int x = 0; x < width; ++x) {
            uint8_t v = indices[static_cast<size_t>(y) * width + x];
            if (bits == 8) {
                line[x] = v;
            } else {
                line[x / 2] |= static_cast<uint8_t>((x % 2 == 0) ? (v & 0x0F) << 4 : (v & 0x0F));
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

}  // namespace

const PaletteEntry* StandardPalette16() {
    static const PaletteEntry kPalette[16] = {
        {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},     {128, 0, 128},
        {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0}, {0, 255, 0},     {255, 255, 0},
        {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
    };
    return kPalette;
}

Bytes MakeBmp4(int width, int height, const std::vector<uint8_t>& indices) {
    return MakeBmp(width, height, 4, StandardPalette16(), 16, indices);
}

Bytes MakeBmp8(int width, int height, const std::vector<PaletteEntry>& palette, const std::vector<uint8_t>& indices) {
    return MakeBmp(width, height, 8, palette.data(), 256, indices);
}

Bytes MakeIcoFile(const std::vector<const Canvas*>& images) {
    std::vector<Bytes> blobs;
    for (const Canvas* c : images) {
        const int n = c->Width();
        const size_t maskRow = RowBytes(n, 1);
        Bytes b;
        PutInfoHeader(b, n, n * 2, 32, static_cast<uint32_t>(n * n * 4 + maskRow * n), 0);
        Bytes mask(maskRow * n, 0);
        for (int y = n - 1; y >= 0; --y) {
            for (int x = 0; x < n; ++x) {
                uint8_t r, g, bl, a;
                c->Get8(x, y, r, g, bl, a);
                if (a < 128) {
                    size_t row = static_cast<size_t>(n - 1 - y);
                    mask[row * maskRow + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                }
                if (a == 0) r = g = bl = 0;
                b.push_back(bl);
                b.push_back(g);
                b.push_back(r);
                b.push_back(a);
            }
        }
        b.insert(b.end(), mask.begin(), mask.end());
        blobs.push_back(b);
    }
    Bytes out;
    Put16(out, 0);
    Put16(out, 1);  // icon
    Put16(out, static_cast<unsigned>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int n = images[i]->Width();
        out.push_back(static_cast<uint8_t>(n >= 256 ? 0 : n));
        out.push_back(static_cast<uint8_t>(n >= 256 ? 0 : n));
        out.push_back(0);  // colour count
        out.push_back(0);
        Put16(out, 1);   // planes
        Put16(out, 32);  // bits
        Put32(out, static_cast<uint32_t>(blobs[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(blobs[i].size());
    }
    for (const Bytes& b : blobs) out.insert(out.end(), b.begin(), b.end());
    return out;
}

namespace {

struct Colour {
    uint32_t rgb;  // 0xRRGGBB
    uint32_t count;
};

int Channel(uint32_t rgb, int c) { return static_cast<int>((rgb >> (16 - 8 * c)) & 0xFF); }

struct Box {
    size_t begin, end;  // range in the colour list
    int widest;         // channel with the largest spread
    int spread;
    uint64_t weight;
};

Box MakeBox(const std::vector<Colour>& colours, size_t begin, size_t end) {
    Box box{begin, end, 0, -1, 0};
    for (int c = 0; c < 3; ++c) {
        int lo = 255, hi = 0;
        for (size_t i = begin; i < end; ++i) {
            int v = Channel(colours[i].rgb, c);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        // Green weighs most for the eye, blue least.
        static const int kWeight[3] = {3, 4, 2};
        int s = (hi - lo) * kWeight[c];
        if (s > box.spread) {
            box.spread = s;
            box.widest = c;
        }
    }
    for (size_t i = begin; i < end; ++i) box.weight += colours[i].count;
    return box;
}

// Every pixel as 0xRRGGBB, row by row, and the colours with their pixel counts.
void ReadColours(const Canvas& canvas, std::vector<uint32_t>& pixels, std::vector<Colour>& colours) {
    const int w = canvas.Width(), h = canvas.Height();
    std::map<uint32_t, uint32_t> histogram;
    pixels.assign(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t r, g, b, a;
            canvas.Get8(x, y, r, g, b, a);
            uint32_t rgb = (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
            pixels[static_cast<size_t>(y) * w + x] = rgb;
            ++histogram[rgb];
        }
    }
    colours.clear();
    for (const auto& kv : histogram) colours.push_back(Colour{kv.first, kv.second});
}

// Median cut: splits boxes of the colour list (which it reorders) until there
// are 256 or no box can be split.
std::vector<Box> CutBoxes(std::vector<Colour>& colours) {
    std::vector<Box> boxes{MakeBox(colours, 0, colours.size())};
    while (boxes.size() < 256) {
        // Split the box with the largest spread weighted by its pixel count.
        int best = -1;
        double bestScore = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].end - boxes[i].begin < 2 || boxes[i].spread <= 0) continue;
            double score = static_cast<double>(boxes[i].spread) * std::sqrt(static_cast<double>(boxes[i].weight));
            if (score > bestScore) {
                bestScore = score;
                best = static_cast<int>(i);
            }
        }
        if (best < 0) break;
        Box box = boxes[best];
        const int c = box.widest;
        std::sort(colours.begin() + box.begin, colours.begin() + box.end, [c](const Colour& a, const Colour& b) {
            int va = Channel(a.rgb, c), vb = Channel(b.rgb, c);
            return va != vb ? va < vb : a.rgb < b.rgb;
        });
        // Split at the weighted median.
        uint64_t half = box.weight / 2, run = 0;
        size_t cut = box.begin + 1;
        for (size_t i = box.begin; i < box.end - 1; ++i) {
            run += colours[i].count;
            cut = i + 1;
            if (run >= half) break;
        }
        boxes[best] = MakeBox(colours, box.begin, cut);
        boxes.push_back(MakeBox(colours, cut, box.end));
    }
    return boxes;
}

// One entry per box, its pixel-weighted mean colour; sorted darkest first
// (easier to read in a palette view, and deterministic) and padded to 256.
std::vector<PaletteEntry> MakePalette(const std::vector<Colour>& colours, const std::vector<Box>& boxes) {
    std::vector<PaletteEntry> palette;
    for (const Box& box : boxes) {
        uint64_t sum[3] = {0, 0, 0};
        for (size_t i = box.begin; i < box.end; ++i)
            for (int c = 0; c < 3; ++c) sum[c] += static_cast<uint64_t>(Channel(colours[i].rgb, c)) * colours[i].count;
        PaletteEntry e;
        e.r = static_cast<uint8_t>((sum[0] + box.weight / 2) / box.weight);
        e.g = static_cast<uint8_t>((sum[1] + box.weight / 2) / box.weight);
        e.b = static_cast<uint8_t>((sum[2] + box.weight / 2) / box.weight);
        palette.push_back(e);
    }
    std::sort(palette.begin(), palette.end(), [](const PaletteEntry& a, const PaletteEntry& b) {
        int la = a.r * 3 + a.g * 6 + a.b, lb = b.r * 3 + b.g * 6 + b.b;
        if (la != lb) return la < lb;
        uint32_t ka = (uint32_t(a.r) << 16) | (uint32_t(a.g) << 8) | a.b;
        uint32_t kb = (uint32_t(b.r) << 16) | (uint32_t(b.g) << 8) | b.b;
        return ka < kb;
    });
    while (palette.size() < 256) palette.push_back(PaletteEntry{0, 0, 0});
    return palette;
}

// Each pixel's nearest of the first `used` palette entries, by weighted distance.
std::vector<uint8_t> MapToPalette(const std::vector<uint32_t>& pixels, const std::vector<PaletteEntry>& palette,
                                  size_t used) {
    std::map<uint32_t, uint8_t> nearest;
    std::vector<uint8_t> indices(pixels.size(), 0);
    for (size_t i = 0; i < pixels.size(); ++i) {
        uint32_t rgb = pixels[i];
        auto it = nearest.find(rgb);
        if (it == nearest.end()) {
            int best = 0;
            long bestDist = -1;
            for (int p = 0; p < static_cast<int>(used); ++p) {
                long dr = Channel(rgb, 0) - palette[p].r, dg = Channel(rgb, 1) - palette[p].g,
                     db = Channel(rgb, 2) - palette[p].b;
                long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
                if (bestDist < 0 || d < bestDist) {
                    bestDist = d;
                    best = p;
                }
            }
            it = nearest.emplace(rgb, static_cast<uint8_t>(best)).first;
        }
        indices[i] = it->second;
    }
    return indices;
}

}  // namespace

void Quantize(const Canvas& canvas, std::vector<PaletteEntry>& palette, std::vector<uint8_t>& indices) {
    std::vector<uint32_t> pixels;
    std::vector<Colour> colours;
    ReadColours(canvas, pixels, colours);
    const std::vector<Box> boxes = CutBoxes(colours);
    palette = MakePalette(colours, boxes);
    indices = MapToPalette(pixels, palette, boxes.size());
}
}  // namespace artgen
