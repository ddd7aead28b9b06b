// The committed artwork must be exactly what the generator draws, and the
// bitmaps must have the formats the program's painting code relies on.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "art.h"

namespace {

using artgen::Bytes;

Bytes ReadFile(const std::string& path) {
    Bytes out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

uint32_t U32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t U16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

const Bytes& FindArt(const std::vector<artgen::ArtFile>& files, const std::string& name) {
    for (const auto& f : files)
        if (f.name == name) return f.bytes;
    static const Bytes kNone;
    ADD_FAILURE() << "no art file " << name;
    return kNone;
}

TEST(Artwork, CommittedFilesMatchTheGenerator) {
    char folder[] = "/tmp/qdxartgen-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string error;
    ASSERT_TRUE(artgen::WriteAllArt(folder, error)) << error;
    const auto files = artgen::MakeAllArt();
    ASSERT_EQ(files.size(), 6u);
    for (const auto& f : files) {
        const std::string fresh = std::string(folder) + "/" + f.name;
        Bytes written = ReadFile(fresh);
        Bytes committed = ReadFile(std::string(QDX_ART_DIR) + "/" + f.name);
        EXPECT_FALSE(committed.empty()) << f.name;
        EXPECT_TRUE(committed == written) << f.name << " differs from the generator's output; run qdxartgen";
        std::remove(fresh.c_str());
    }
    rmdir(folder);
}

TEST(Artwork, GeneratorIsDeterministic) {
    const auto a = artgen::MakeAllArt();
    const auto b = artgen::MakeAllArt();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(a[i].bytes == b[i].bytes) << a[i].name;
}

// Pixel (x,y) of a bottom-up 4-bit bitmap file, y counted from the top.
int Pixel4(const Bytes& bmp, int x, int y) {
    const uint32_t off = U32(bmp, 10);
    const int height = static_cast<int>(U32(bmp, 22));
    const size_t row = ((static_cast<size_t>(U32(bmp, 18)) * 4 + 31) / 32) * 4;
    const uint8_t byte = bmp[off + row * (height - 1 - y) + x / 2];
    return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

TEST(Artwork, MeterSegmentBitmaps) {
    const auto files = artgen::MakeAllArt();
    struct {
        const char* name;
        uint8_t r, g, b;
    } cases[] = {{"ldb_green.bmp", 0, 255, 0}, {"ldb_red.bmp", 255, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes& bmp = FindArt(files, c.name);
        ASSERT_GE(bmp.size(), 54u + 64u);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(U32(bmp, 2), bmp.size());
        EXPECT_EQ(U32(bmp, 14), 40u);
        EXPECT_EQ(U32(bmp, 18), 9u);
        EXPECT_EQ(U32(bmp, 22), 32u);  // positive: bottom-up
        EXPECT_EQ(U16(bmp, 28), 4);
        EXPECT_EQ(U32(bmp, 30), 0u);  // uncompressed
        ASSERT_EQ(U32(bmp, 10), 54u + 64u);
        EXPECT_EQ(bmp.size(), 54u + 64u + 8u * 32u);
        // Standard palette: entry 0 black, 9 red, 10 green, 15 white (BGR0).
        const uint8_t* pal = &bmp[54];
        EXPECT_EQ(pal[0] | pal[1] | pal[2], 0);
        EXPECT_EQ(pal[9 * 4 + 2], 255);
        EXPECT_EQ(pal[9 * 4 + 1], 0);
        EXPECT_EQ(pal[10 * 4 + 1], 255);
        EXPECT_EQ(pal[10 * 4 + 2], 0);
        EXPECT_EQ(pal[15 * 4], 255);
        EXPECT_EQ(pal[7 * 4], 192);

        for (int x = 0; x < 9; ++x) EXPECT_EQ(Pixel4(bmp, x, 0), 0) << "top row must be black at x=" << x;
        for (int y = 1; y < 32; ++y) {
            for (int x = 0; x < 9; ++x) {
                const int index = Pixel4(bmp, x, y);
                const uint8_t* p = &pal[index * 4];
                const bool lit = x % 3 != 0;
                if (lit) {
                    EXPECT_TRUE(p[2] == c.r && p[1] == c.g && p[0] == c.b) << x << "," << y;
                } else {
                    EXPECT_EQ(index, 0) << x << "," << y;
                }
            }
        }
    }
}

TEST(Artwork, AboutPictureIs8BitUncompressed) {
    const auto files = artgen::MakeAllArt();
    const Bytes& bmp = FindArt(files, "about.bmp");
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(U32(bmp, 18), 340u);
    EXPECT_EQ(U32(bmp, 22), 198u);
    EXPECT_EQ(U16(bmp, 28), 8);
    EXPECT_EQ(U32(bmp, 30), 0u);
    EXPECT_EQ(U32(bmp, 10), 14u + 40u + 1024u);
    // As a resource (without the 14-byte file header): 68,384 bytes.
    EXPECT_EQ(bmp.size() - 14, 68384u);
}

TEST(Artwork, IconsHoldBothSizesWithMask) {
    const auto files = artgen::MakeAllArt();
    for (const char* name : {"lamp_orange.ico", "lamp_grey.ico", "lamp_red.ico"}) {
        SCOPED_TRACE(name);
        const Bytes& ico = FindArt(files, name);
        ASSERT_GE(ico.size(), 38u);
        EXPECT_EQ(U16(ico, 0), 0);
        EXPECT_EQ(U16(ico, 2), 1);
        ASSERT_EQ(U16(ico, 4), 2);
        const int sizes[2] = {32, 16};
        for (int i = 0; i < 2; ++i) {
            const size_t e = 6 + 16 * i;
            const int n = sizes[i];
            EXPECT_EQ(ico[e], n);
            EXPECT_EQ(U16(ico, e + 6), 32);
            const uint32_t bytes = U32(ico, e + 8), off = U32(ico, e + 12);
            ASSERT_LE(off + bytes, ico.size());
            EXPECT_EQ(bytes, 40u + n * n * 4u + 4u * n);  // mask rows padded to 32 bits
            EXPECT_EQ(U32(ico, off + 8), static_cast<uint32_t>(2 * n));
            // Corners are transparent (alpha 0, black colour, mask bit set);
            // the centre is opaque (mask bit clear).
            const size_t colour = off + 40, mask = colour + n * n * 4;
            EXPECT_EQ(U32(ico, colour), 0u);
            EXPECT_EQ(ico[mask] & 0x80, 0x80);
            const size_t mid = colour + ((n / 2) * n + n / 2) * 4;
            EXPECT_EQ(ico[mid + 3], 255);
            EXPECT_EQ(ico[mask + (n / 2) * 4 + (n / 2) / 8] & (0x80 >> ((n / 2) % 8)), 0);
        }
    }
}

}  // namespace
