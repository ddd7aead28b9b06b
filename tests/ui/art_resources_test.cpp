// The artwork as the program loads it from its resources: the three lamps at
// both sizes, drawn over a background, and the meter's segment bitmaps.
#include <windows.h>

#include <gtest/gtest.h>

#include "canvas.h"
#include "ui/instance.h"

using qdxtest::Canvas;

namespace {

TEST(ArtResources, LampsLoadAtBothSizesAndShowTheirColours) {
    struct {
        int id;
        const char* name;
        bool (*looksRight)(COLORREF);
    } lamps[] = {
        {1, "orange", [](COLORREF c) { return GetRValue(c) > 200 && GetGValue(c) > 90 && GetGValue(c) < 200 && GetBValue(c) < 80; }},
        {3, "grey", [](COLORREF c) { return GetRValue(c) > 110 && abs(GetRValue(c) - GetBValue(c)) < 20 && abs(GetRValue(c) - GetGValue(c)) < 20; }},
        {4, "red", [](COLORREF c) { return GetRValue(c) > 150 && GetGValue(c) < 80 && GetBValue(c) < 80; }},
    };
    const COLORREF face = RGB(212, 208, 200);
    Canvas sheet(3 * 40 + 8, 40 + 24, face);
    int column = 0;
    for (const auto& lamp : lamps) {
        SCOPED_TRACE(lamp.name);
        for (int size : {32, 16}) {
            qdx::UniqueIcon icon(static_cast<HICON>(
                LoadImageA(AppInstance(), MAKEINTRESOURCEA(lamp.id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
            ASSERT_TRUE(icon) << size;
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(icon.Get(), &info));
            qdx::UniqueGdiObject colour(info.hbmColor), mask(info.hbmMask);
            BITMAP bm{};
            GetObjectA(info.hbmColor, sizeof bm, &bm);
            EXPECT_EQ(bm.bmWidth, size);

            Canvas canvas(size, size, face);
            ASSERT_TRUE(DrawIconEx(canvas.Dc(), 0, 0, icon.Get(), size, size, 0, nullptr, DI_NORMAL));
            EXPECT_EQ(canvas.Pixel(0, 0), face) << "corners stay transparent at " << size;
            EXPECT_EQ(canvas.Pixel(size - 1, size - 1), face);
            // Below the gloss, the lamp shows its own colour.
            const COLORREF body = canvas.Pixel(size / 2, size * 5 / 8);
            EXPECT_TRUE(lamp.looksRight(body)) << size << ": " << std::hex << body;
            const COLORREF rim = canvas.Pixel(size / 2, size - 2);
            EXPECT_LT(GetRValue(rim) + GetGValue(rim) + GetBValue(rim), 3 * 140) << "the rim is dark";
            sheet.Blit(4 + column * 40 + (size == 16 ? 8 : 0), size == 16 ? 44 : 4, canvas.Dc(), size, size);
        }
        ++column;
    }
    sheet.Save("ui", "art_lamps");
}

TEST(ArtResources, MeterSegmentBitmapsAreNineByThirtyTwo) {
    for (const char* name : {"LDBDisplayGreen", "LDBDisplayRed"}) {
        qdx::UniqueGdiObject bitmap(LoadBitmapA(AppInstance(), name));
        ASSERT_TRUE(bitmap) << name;
        BITMAP bm{};
        ASSERT_EQ(GetObjectA(bitmap.Get(), sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_EQ(bm.bmWidth, 9) << name;
        EXPECT_EQ(bm.bmHeight, 32) << name;
    }
}

TEST(ArtResources, AboutPictureResourceHasItsSize) {
    HRSRC found = FindResourceA(AppInstance(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(2));  // RT_BITMAP
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(SizeofResource(AppInstance(), found), 68384u);
}

}  // namespace
