// The about picture panel: the "LAW" class, what it paints with and without
// an attached painter, and where the picture, the lines and the separator go.
#include <windows.h>

#include <gtest/gtest.h>

#include "canvas.h"
#include "desktop.h"
#include "ui/instance.h"
#include "ui/splash.h"

using qdxtest::Canvas;

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kUnpainted = RGB(255, 0, 255);
const int kPanelW = 340, kPanelH = 286;  // the picture and an 88-pixel text band

class PanelTest : public qdxtest::ParentWindowTest {
protected:
    PanelTest() : ParentWindowTest(kPanelW + 20, kPanelH + 20) {}

    // Declared after the painter it gets, so the window goes first.
    HWND MakePanel() {
        HWND panel = CreateWindowExA(0, kLawClass, "", WS_CHILD | WS_VISIBLE, 0, 0, kPanelW, kPanelH, Parent(),
                                     reinterpret_cast<HMENU>(999), AppInstance(), nullptr);
        EXPECT_NE(panel, nullptr);
        return panel;
    }

    // Background and content, as the panel shows them on screen.
    static void Render(HWND panel, Canvas& canvas) {
        canvas.Fill(kUnpainted);
        SendMessageA(panel, WM_PRINT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT | PRF_ERASEBKGND);
    }

    // Bounding box of the dark pixels within a region of the canvas.
    static RECT DarkBox(const Canvas& c, int left, int top, int right, int bottom) {
        RECT box{right, bottom, left - 1, top - 1};
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                if (!qdxtest::IsDark(c.Pixel(x, y))) continue;
                box.left = x < box.left ? x : box.left;
                box.top = y < box.top ? y : box.top;
                box.right = x > box.right ? x : box.right;
                box.bottom = y > box.bottom ? y : box.bottom;
            }
        }
        return box;  // inclusive; left > right when nothing is dark
    }
};

TEST_F(PanelTest, ClassIsRegisteredOnceAndThePictureIsTheProductPicture) {
    LSplashScreen first;
    LSplashAboutBase second;  // registers again: fails, harmlessly
    WNDCLASSA wc{};
    ASSERT_TRUE(GetClassInfoA(AppInstance(), kLawClass, &wc));
    EXPECT_EQ(wc.style, 0u);
    EXPECT_EQ(wc.hbrBackground, GetStockObject(WHITE_BRUSH));
    const SIZE size = second.GetBitmapSize();
    EXPECT_EQ(size.cx, 340);
    EXPECT_EQ(size.cy, 198);
    EXPECT_FALSE(first.about);
}

TEST_F(PanelTest, WithoutPainterOnlyTheWhiteBackground) {
    LSplashAboutBase painter;
    qdx::UniqueWindow panelOwner(MakePanel());
    HWND panel = panelOwner.Get();
    Canvas canvas(kPanelW, kPanelH, kUnpainted);
    Render(panel, canvas);
    for (int y = 0; y < kPanelH; ++y)
        for (int x = 0; x < kPanelW; ++x) ASSERT_EQ(canvas.Pixel(x, y), kWhite) << x << "," << y;
    EXPECT_EQ(SendMessageA(panel, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5)), 0);
}

TEST_F(PanelTest, PaintsPictureTextAndSeparator) {
    LSplashAboutBase painter;
    painter.about = true;
    qdx::UniqueWindow panelOwner(MakePanel());
    HWND panel = panelOwner.Get();
    painter.AttachTo(panel);
    Canvas canvas(kPanelW, kPanelH, kUnpainted);
    Render(panel, canvas);

    // The picture 1:1 at the top left.
    Canvas picture(340, 198, kUnpainted);
    {
        qdx::UniqueGdiObject bitmap(LoadBitmapA(AppInstance(), MAKEINTRESOURCEA(1)));
        ASSERT_TRUE(bitmap);
        qdx::UniqueMemoryDC memory(CreateCompatibleDC(picture.Dc()));
        qdx::ScopedSelect selected(memory.Get(), bitmap.Get());
        picture.Blit(0, 0, memory.Get(), 340, 198);
    }
    int differ = 0;
    for (int y = 0; y < 198; ++y)
        for (int x = 0; x < 340; ++x)
            if (canvas.Pixel(x, y) != picture.Pixel(x, y)) ++differ;
    EXPECT_EQ(differ, 0);

    // The name line: dark text from (2, 199); the version line right under it.
    const RECT name = DarkBox(canvas, 0, 198, 170, 215);
    EXPECT_GE(name.left, 2);
    EXPECT_LE(name.left, 4);
    EXPECT_GE(name.top, 199);
    EXPECT_LE(name.top, 203);
    const RECT version = DarkBox(canvas, 0, 215, 170, 231);
    EXPECT_GE(version.left, 2);
    EXPECT_LE(version.left, 4);
    EXPECT_LE(version.top, 219);
    // The distributor block: right-aligned against x 336, from y 199, and no
    // line of it wrapped (five lines of 16 pixels end above row 280).
    const RECT block = DarkBox(canvas, 200, 198, kPanelW, 284);
    EXPECT_LE(block.right, 335);
    EXPECT_GE(block.right, 329);
    EXPECT_LE(block.top, 203);
    EXPECT_LE(block.bottom, 279);
    EXPECT_GE(block.bottom, 263);  // the notice on the fifth line
    // Between the band and the separator the panel stays white.
    for (int x = 0; x < kPanelW; ++x) EXPECT_EQ(canvas.Pixel(x, 283), kWhite) << x;
    // The separator on the bottom row.
    for (int x = 0; x < kPanelW; ++x) EXPECT_EQ(canvas.Pixel(x, kPanelH - 1), RGB(0, 0, 0)) << x;
    canvas.Save("ui", "splash_about_panel");

    // Clicks and timers do nothing.
    EXPECT_EQ(SendMessageA(panel, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5)), 0);
    EXPECT_EQ(SendMessageA(panel, WM_TIMER, 1, 0), 0);
}

TEST_F(PanelTest, WithoutAboutFlagNoSeparator) {
    LSplashAboutBase painter;
    qdx::UniqueWindow panelOwner(MakePanel());
    HWND panel = panelOwner.Get();
    painter.AttachTo(panel);
    Canvas canvas(kPanelW, kPanelH, kUnpainted);
    Render(panel, canvas);
    for (int x = 0; x < kPanelW; ++x) EXPECT_EQ(canvas.Pixel(x, kPanelH - 1), kWhite) << x;
}

TEST_F(PanelTest, ConstructedTwiceStillPaintsOnScreen) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        LSplashAboutBase painter;  // the about box opened a second time
        painter.about = true;
        qdx::UniqueWindow panel(MakePanel());
        painter.AttachTo(panel.Get());
        InvalidateRect(panel.Get(), nullptr, TRUE);
        UpdateWindow(panel.Get());
        qdxtest::PumpMessages();
        Canvas screen(kPanelW, kPanelH, kUnpainted);
        {
            qdx::ScopedWindowDC dc(panel.Get());
            screen.Blit(0, 0, dc.Dc(), kPanelW, kPanelH);
        }
        Canvas printed(kPanelW, kPanelH, kUnpainted);
        Render(panel.Get(), printed);
        int differ = 0;
        for (int y = 0; y < kPanelH; ++y)
            for (int x = 0; x < kPanelW; ++x)
                if (screen.Pixel(x, y) != printed.Pixel(x, y)) ++differ;
        EXPECT_EQ(differ, 0);
        EXPECT_EQ(screen.Pixel(10, kPanelH - 1), RGB(0, 0, 0));
        if (round == 1) screen.Save("ui", "splash_about_screen");
        // The window goes before the painter it points to.
        panel.Reset();
    }
}

}  // namespace
