// The level meter as a real control under Wine: what it paints (read back from
// a DIB section through WM_PRINTCLIENT) and what it invalidates.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "canvas.h"
#include "desktop.h"
#include "ui/instance.h"
#include "ui/ldbdisplay.h"

using qdxtest::Canvas;

namespace {

const COLORREF kGray = RGB(128, 128, 128);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kGreen = RGB(0, 255, 0);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kUnpainted = RGB(255, 0, 255);  // what the canvas holds before painting

// A visible parent window with two meters: the main window's kind (edge flag,
// 300 x 14) and a plain one of 192 x 32 (4 columns per dB, 0 dB at x 144).
class MeterTest : public qdxtest::ParentWindowTest {
protected:
    MeterTest() : ParentWindowTest(340, 90) {}
    static void SetUpTestSuite() { ASSERT_TRUE(RegisterLDBDisplay(AppInstance())); }

    void SetUp() override {
        edgeOwner_.Reset(CreateWindowExA(0, kLDBDisplayClass, "", WS_CHILD | WS_VISIBLE | kLDBDisplayEdge, 10, 10, 300,
                                         14, Parent(), reinterpret_cast<HMENU>(103), AppInstance(), nullptr));
        plainOwner_.Reset(CreateWindowExA(0, kLDBDisplayClass, "", WS_CHILD | WS_VISIBLE, 10, 40, 192, 32, Parent(),
                                          reinterpret_cast<HMENU>(104), AppInstance(), nullptr));
        edge_ = edgeOwner_.Get();
        plain_ = plainOwner_.Get();
        ASSERT_NE(edge_, nullptr);
        ASSERT_NE(plain_, nullptr);
        qdxtest::PumpMessages();
    }

    static void Set(HWND meter, std::vector<int> levels) {
        LevelRecord record{};
        record.count = static_cast<unsigned char>(levels.size());
        for (size_t i = 0; i < levels.size(); ++i) record.levels[i] = static_cast<signed char>(levels[i]);
        SetLevels(meter, record);
    }

    // The control's client area as painted by WM_PRINTCLIENT.
    static void Render(HWND meter, Canvas& canvas) {
        canvas.Fill(kUnpainted);
        SendMessageA(meter, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    }

    // The segment pattern: in every bar, the top row dark, then one dark
    // column and two lit ones.
    static COLORREF Segment(int x, int yInRow, COLORREF lit) { return (yInRow == 0 || x % 3 == 0) ? kBlack : lit; }

    static std::string UpdateBox(HWND meter) {
        RECT r;
        if (!GetUpdateRect(meter, &r, FALSE)) return "none";
        char text[64];
        wsprintfA(text, "%d,%d,%d,%d", static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
                  static_cast<int>(r.bottom));
        return text;
    }

    qdx::UniqueWindow edgeOwner_, plainOwner_;  // the controls go before their parent
    HWND edge_ = nullptr;
    HWND plain_ = nullptr;
};

TEST_F(MeterTest, NewControlIsGrayUntilItGetsLevels) {
    Canvas canvas(192, 32, kUnpainted);
    Render(plain_, canvas);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 192; ++x) ASSERT_EQ(canvas.Pixel(x, y), kGray) << x << "," << y;
}

TEST_F(MeterTest, LevelsPaintGreenRedAndBlackStripes) {
    Canvas canvas(192, 32, kUnpainted);
    struct {
        int level;
        int greenEnd, redEnd;
    } cases[] = {{-36, 0, 0}, {-100, 0, 0}, {-10, 104, 104}, {0, 144, 144}, {6, 144, 168}, {12, 144, 192}, {127, 144, 192}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level);
        Set(plain_, {c.level});
        Render(plain_, canvas);
        int wrong = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 192; ++x) {
                COLORREF want = x < c.greenEnd ? Segment(x, y, kGreen) : x < c.redEnd ? Segment(x, y, kRed) : kBlack;
                if (canvas.Pixel(x, y) != want && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << canvas.Pixel(x, y);
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(MeterTest, EachChannelRowStartsItsOwnPattern) {
    Set(plain_, {0, 12});  // rows 0..15 and 16..31
    Canvas canvas(192, 32, kUnpainted);
    Render(plain_, canvas);
    EXPECT_EQ(canvas.Pixel(1, 0), kBlack);   // top line of channel 0
    EXPECT_EQ(canvas.Pixel(1, 1), kGreen);
    EXPECT_EQ(canvas.Pixel(150, 1), kBlack);  // channel 0 stops at 0 dB
    EXPECT_EQ(canvas.Pixel(1, 15), kGreen);
    EXPECT_EQ(canvas.Pixel(1, 16), kBlack);  // top line of channel 1, from the brush origin at its row
    EXPECT_EQ(canvas.Pixel(1, 17), kGreen);
    EXPECT_EQ(canvas.Pixel(150, 16), kBlack);
    EXPECT_EQ(canvas.Pixel(151, 17), kRed);
    EXPECT_EQ(canvas.Pixel(191, 31), kRed);
}

TEST_F(MeterTest, DisabledIsGrayAndEnablingRepaints) {
    Set(plain_, {12});
    ValidateRect(plain_, nullptr);
    EnableWindow(plain_, FALSE);
    EXPECT_EQ(UpdateBox(plain_), "0,0,192,32");
    Canvas canvas(192, 32, kUnpainted);
    Render(plain_, canvas);
    EXPECT_EQ(canvas.Pixel(0, 0), kGray);
    EXPECT_EQ(canvas.Pixel(1, 1), kGray);
    EXPECT_EQ(canvas.Pixel(191, 31), kGray);

    ValidateRect(plain_, nullptr);
    EnableWindow(plain_, TRUE);
    EXPECT_EQ(UpdateBox(plain_), "0,0,192,32");
    Render(plain_, canvas);
    EXPECT_EQ(canvas.Pixel(1, 1), kGreen);
    EXPECT_EQ(canvas.Pixel(191, 31), kRed);
}

TEST_F(MeterTest, EdgeFlagLeavesRoomForAWhiteEdge) {
    // Client 300 x 14: bars in 298 x 12, white line on row 13 and column 299.
    Set(edge_, {0});
    Canvas canvas(300, 14, kUnpainted);
    Render(edge_, canvas);
    const int xg = 223;  // 0 dB at 36 * 298 / 48
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 299; ++x) {
            COLORREF want = x < xg ? Segment(x, y, kGreen) : kBlack;
            ASSERT_EQ(canvas.Pixel(x, y), want) << x << "," << y;
        }
    }
    for (int x = 0; x < 300; ++x) EXPECT_EQ(canvas.Pixel(x, 13), kWhite) << "bottom row at " << x;
    for (int y = 1; y < 14; ++y) EXPECT_EQ(canvas.Pixel(299, y), kWhite) << "right column at " << y;
    EXPECT_EQ(canvas.Pixel(5, 12), kUnpainted);  // the row between bars and edge is left alone

    // A new or disabled meter is gray, edge included.
    EnableWindow(edge_, FALSE);
    Render(edge_, canvas);
    EXPECT_EQ(canvas.Pixel(0, 0), kGray);
    EXPECT_EQ(canvas.Pixel(5, 12), kGray);
    EXPECT_EQ(canvas.Pixel(5, 13), kWhite);
    EXPECT_EQ(canvas.Pixel(299, 5), kWhite);
}

TEST_F(MeterTest, RepaintOfTheTopRightCornerKeepsTheEdge) {
    Set(edge_, {-36});
    Canvas canvas(300, 14, kUnpainted);
    LDBDisplayState state = ReadLDBDisplayState(edge_);
    RECT corner{250, 0, 300, 5};  // a window moved off the corner: the bottom is not in the update
    PaintLDBDisplay(canvas.Dc(), corner, state);
    EXPECT_EQ(canvas.Pixel(298, 3), kBlack);
    for (int y = 1; y < 5; ++y) EXPECT_EQ(canvas.Pixel(299, y), kWhite) << y;
}

TEST_F(MeterTest, LevelChangeInvalidatesOnlyTheStripBetweenOldAndNew) {
    Set(edge_, {-10});
    ValidateRect(edge_, nullptr);
    Set(edge_, {-5});
    EXPECT_EQ(UpdateBox(edge_), "161,0,193,12");
    // Only that rectangle: the update region is a single box.
    qdx::UniqueGdiObject region(CreateRectRgn(0, 0, 0, 0));
    EXPECT_EQ(GetUpdateRgn(edge_, static_cast<HRGN>(region.Get()), FALSE), SIMPLEREGION);

    ValidateRect(edge_, nullptr);
    Set(edge_, {-5});
    EXPECT_EQ(UpdateBox(edge_), "none") << "the same level again repaints nothing";

    Set(edge_, {-5, -5});
    EXPECT_EQ(UpdateBox(edge_), "0,0,300,14") << "a new channel count repaints the whole control";

    ValidateRect(edge_, nullptr);
    Set(edge_, {-5, 12});
    EXPECT_EQ(UpdateBox(edge_), "192,6,299,12") << "the second channel's row only";
}

TEST_F(MeterTest, OutOfScaleLevelsAreClampedWhenStored) {
    Set(plain_, {127, -128});
    EXPECT_EQ(static_cast<signed char>(LOBYTE(GetWindowWord(plain_, ldbdisplay_layout::Level(0)))), 12);
    EXPECT_EQ(static_cast<signed char>(LOBYTE(GetWindowWord(plain_, ldbdisplay_layout::Level(1)))), -36);
    // Already at the ends of the scale: nothing to repaint.
    ValidateRect(plain_, nullptr);
    Set(plain_, {100, -100});
    EXPECT_EQ(UpdateBox(plain_), "none");
}

TEST_F(MeterTest, TooManyChannelsAreRefusedAndTheBrushesSurvive) {
    Set(plain_, {3});
    const LONG_PTR brush = GetWindowLongPtrA(plain_, ldbdisplay_layout::Handle(ldbdisplay_layout::kGreenBrush));
    ASSERT_NE(brush, 0);
    Set(plain_, {12, 12, 12, 12, 12, 12, 12, 12, 12, 12});  // ten levels would run into the handle slots
    EXPECT_EQ(GetWindowWord(plain_, ldbdisplay_layout::kCount), 1);
    EXPECT_EQ(GetWindowLongPtrA(plain_, ldbdisplay_layout::Handle(ldbdisplay_layout::kGreenBrush)), brush);
    SetLevels(nullptr, LevelRecord{});  // a null control is ignored
    Canvas canvas(192, 32, kUnpainted);
    Render(plain_, canvas);
    EXPECT_EQ(canvas.Pixel(1, 1), kGreen);

    // Eight channels is the most the control keeps.
    Set(plain_, {12, 6, 0, -6, -12, -18, -24, -30});
    EXPECT_EQ(GetWindowWord(plain_, ldbdisplay_layout::kCount), 8);
    EXPECT_EQ(GetWindowLongPtrA(plain_, ldbdisplay_layout::Handle(ldbdisplay_layout::kGreenBrush)), brush);
}

TEST_F(MeterTest, ScreenShowsWhatPrintClientPaints) {
    Set(edge_, {4});
    Set(plain_, {9, 0, -8, -20});
    InvalidateRect(Parent(), nullptr, TRUE);
    UpdateWindow(Parent());
    qdxtest::PumpMessages();

    Canvas printed(300, 14, kUnpainted), screen(300, 14, kUnpainted);
    Render(edge_, printed);
    {
        qdx::ScopedWindowDC dc(edge_);
        screen.Blit(0, 0, dc.Dc(), 300, 14);
    }
    int differ = 0;
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 300; ++x)
            if (y != 12 && printed.Pixel(x, y) != screen.Pixel(x, y)) ++differ;  // row 12 shows what lies beneath
    EXPECT_EQ(differ, 0);

    Canvas window(340, 90, kUnpainted);
    {
        qdx::ScopedWindowDC dc(Parent());
        window.Blit(0, 0, dc.Dc(), 340, 90);
    }
    window.Save("ui", "meter_window");
}

// Not a check: pictures of the meter's states for people to look at.
TEST_F(MeterTest, SavesScreenshotsOfItsStates) {
    struct {
        const char* name;
        std::vector<int> levels;
        bool enabled;
    } states[] = {
        {"new", {}, true},      {"-36 dB", {-36}, true},      {"-12 dB", {-12}, true}, {"0 dB", {0}, true},
        {"+6 dB", {6}, true},   {"+12 dB", {12}, true},       {"disabled", {6}, false},
        {"two", {3, -9}, true},
    };
    const int n = static_cast<int>(sizeof states / sizeof states[0]);
    Canvas sheet(310, n * 20 + 6, GetSysColor(COLOR_BTNFACE));
    Canvas one(300, 14, kUnpainted);
    for (int i = 0; i < n; ++i) {
        qdx::UniqueWindow meter(CreateWindowExA(0, kLDBDisplayClass, "", WS_CHILD | WS_VISIBLE | kLDBDisplayEdge, 10,
                                                10, 300, 14, Parent(), nullptr, AppInstance(), nullptr));
        if (!states[i].levels.empty()) Set(meter.Get(), states[i].levels);
        EnableWindow(meter.Get(), states[i].enabled);
        // Drawn over the dialog colour: the row between bars and edge shows it, as on screen.
        one.Fill(GetSysColor(COLOR_BTNFACE));
        SendMessageA(meter.Get(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(one.Dc()), PRF_CLIENT);
        sheet.Blit(5, 6 + i * 20, one.Dc(), 300, 14);
    }
    EXPECT_TRUE(sheet.Save("ui", "meter_states"));
}

}  // namespace
