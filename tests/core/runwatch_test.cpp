// What the window shows of a running recording: the silence alert's decision
// over time and levels, the elapsed time's text, and the colour choice.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/contrast.h"
#include "core/elapsed.h"
#include "core/silence.h"

using silence::Event;

namespace {

enum Op { kStart, kLevel, kTick, kStop };
struct Step {
    Op op;
    std::uint32_t ms;
    int value;  // the stretch for kStart, the level for kLevel
    Event expected;
};

void Replay(const char* name, std::initializer_list<Step> steps) {
    silence::SilenceWatch watch;
    int i = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << name << ", step " << i++ << " at " << s.ms << " ms");
        Event e = Event::kNone;
        switch (s.op) {
        case kStart: watch.Start(s.ms, s.value); break;
        case kLevel: e = watch.Level(s.ms, s.value); break;
        case kTick: e = watch.Tick(s.ms); break;
        case kStop: watch.Stop(); break;
        }
        EXPECT_EQ(static_cast<int>(e), static_cast<int>(s.expected));
    }
}

constexpr Event N = Event::kNone;
constexpr Event A = Event::kAlert;
constexpr Event S = Event::kSoundAgain;

}  // namespace

TEST(SilenceWatch, OneAlertPerSilentStretchThenSoundAgain) {
    Replay("levels at the floor, then sound, then silence again",
        {{kStart, 0, 2, N},     {kLevel, 500, -36, N},  {kTick, 1999, 0, N},    {kTick, 2000, 0, A},
         {kTick, 3000, 0, N},   {kLevel, 3100, -127, N}, {kLevel, 3200, -35, S}, {kLevel, 3250, 0, N},
         {kLevel, 3300, -36, N}, {kTick, 5299, 0, N},   {kLevel, 5300, -50, A}, {kTick, 9000, 0, N}});
    Replay("no level at all: the stretch counts from the start",
        {{kStart, 0, 15, N}, {kTick, 14999, 0, N}, {kTick, 15000, 0, A}, {kTick, 60000, 0, N}});
    Replay("sound keeps it quiet however long the stretch",
        {{kStart, 0, 2, N}, {kLevel, 1900, 12, N}, {kTick, 3000, 0, N}, {kLevel, 3800, -10, N}, {kTick, 5700, 0, N}});
}

TEST(SilenceWatch, SparseLevelsAreJudgedByWhatTheySay) {
    // A level every 3 s: the time between two loud ones is not silence; the
    // stretch starts with the first silent level, and the timer ends it even
    // though no level comes.
    Replay("a level every 3 s, stretch 2 s",
        {{kStart, 0, 2, N},     {kLevel, 100, 0, N},   {kLevel, 3100, 0, N}, {kTick, 6000, 0, N},
         {kLevel, 6100, -36, N}, {kTick, 8000, 0, N}, {kTick, 8100, 0, A},  {kLevel, 9100, -127, N},
         {kLevel, 12100, 3, S}});
}

TEST(SilenceWatch, OffEndsAndTheTicksWrap) {
    Replay("0 seconds: off", {{kStart, 0, 0, N}, {kLevel, 10, -127, N}, {kTick, 100000, 0, N}, {kLevel, 100001, 0, N}});
    Replay("negative: off", {{kStart, 0, -5, N}, {kTick, 100000, 0, N}});
    Replay("a recording shorter than the stretch: nothing",
        {{kStart, 0, 15, N}, {kTick, 10000, 0, N}, {kStop, 12000, 0, N}, {kTick, 20000, 0, N}});
    Replay("the silence outlasts the recording: nothing after the alert",
        {{kStart, 0, 2, N}, {kTick, 2000, 0, A}, {kStop, 4000, 0, N}, {kLevel, 4100, 0, N}, {kTick, 9000, 0, N}});
    Replay("a new recording starts a new stretch",
        {{kStart, 0, 2, N}, {kTick, 2000, 0, A}, {kStart, 5000, 2, N}, {kTick, 6999, 0, N}, {kTick, 7000, 0, A}});
    Replay("the tick wraps past 2^32 ms",
        {{kStart, 0xFFFFFC18u, 2, N}, {kTick, 999, 0, N}, {kTick, 1000, 0, A}});
}

TEST(SilenceWatch, AlertText) {
    const struct {
        int seconds;
        const char* text;
    } cases[] = {{15, "No sound on the line for 15 seconds"}, {2, "No sound on the line for 2 seconds"},
                 {1, "No sound on the line for 1 second"}};
    for (const auto& c : cases) {
        char out[64];
        silence::FormatSilenceAlert(c.seconds, out, sizeof out);
        EXPECT_STREQ(out, c.text);
    }
}

TEST(Elapsed, MinutesAndSecondsThenHours) {
    const struct {
        std::uint32_t seconds;
        const char* text;
    } cases[] = {{0, "0:00"},        {5, "0:05"},          {125, "2:05"},
                 {3599, "59:59"},    {3600, "1:00:00"},    {3725, "1:02:05"},
                 {36000, "10:00:00"}, {4294967295u, "1193046:28:15"}};
    for (const auto& c : cases) {
        char out[elapsed::kElapsedSize];
        elapsed::FormatElapsed(c.seconds, out, sizeof out);
        EXPECT_STREQ(out, c.text) << c.seconds;
    }
    char small[5];
    elapsed::FormatElapsed(3725, small, sizeof small);
    EXPECT_STREQ(small, "1:02");  // cut, terminated
}

TEST(ColourScheme, OwnColoursUnlessHighContrastThenOnlyTheSystems) {
    using contrast::Rgb;
    const contrast::SystemColours black{Rgb(0, 0, 0), Rgb(255, 255, 255), Rgb(26, 235, 255), Rgb(0, 0, 0), Rgb(0, 0, 0)};
    const contrast::SystemColours white{Rgb(255, 255, 255), Rgb(0, 0, 0), Rgb(55, 0, 110), Rgb(255, 255, 254),
                                        Rgb(240, 240, 240)};
    for (const auto& sys : {black, white}) {
        const contrast::Scheme off = contrast::ChooseScheme(false, sys);
        EXPECT_TRUE(off.log == contrast::kOwnLog && off.meter == contrast::kOwnMeter);
        const contrast::Scheme on = contrast::ChooseScheme(true, sys);
        EXPECT_FALSE(on.meter.own);
        // Text on its own background, an alert as a selection, the meter's
        // two parts in two colours that differ from their background.
        EXPECT_TRUE(on.log == (contrast::LogColours{sys.window, sys.windowText, sys.highlight, sys.highlightText}));
        EXPECT_EQ(on.meter.dark, on.meter.beyond);
        EXPECT_NE(on.meter.low, on.meter.dark);
        EXPECT_NE(on.meter.high, on.meter.dark);
        EXPECT_NE(on.meter.low, on.meter.high);
        for (contrast::Colour c : {on.meter.dark, on.meter.low, on.meter.high, on.meter.disabled, on.meter.edge})
            EXPECT_TRUE(c == sys.window || c == sys.windowText || c == sys.highlight || c == sys.buttonFace) << c;
    }
}
