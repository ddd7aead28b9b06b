// The level rate limit over scripted reads and waits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/levelrate.h"

namespace {

// One step of a link: at time `at`, either the worker's turn before a wait
// (read == 0: TakeHeld, then WaitMs with 5000 ms of silence left, checked
// against wait unless it is -1) or a read of `read` levels, numbered on from
// the last read's.
struct Step {
    std::uint32_t at;
    int read;
    int wait;
};

// The levels passed on, as ranges ("1-25,28"), then "held N" for a level
// still held back at the end.
std::string Passed(std::uint32_t start, const std::vector<Step>& steps) {
    LevelRateLimit limit(start);
    std::vector<int> passed;
    int next = 1;
    for (const Step& s : steps) {
        signed char level = 0;
        if (s.read == 0) {
            if (limit.TakeHeld(s.at, level)) passed.push_back(level);
            if (s.wait >= 0) {
                EXPECT_EQ(limit.WaitMs(s.at, 5000), s.wait) << "at " << s.at;
            }
            continue;
        }
        std::vector<signed char> levels;
        for (int i = 0; i < s.read; ++i) levels.push_back(static_cast<signed char>(next++));
        for (std::size_t i = limit.Admit(s.at, levels.data(), levels.size()); i < levels.size(); ++i)
            passed.push_back(levels[i]);
    }
    std::string text;
    for (std::size_t i = 0; i < passed.size(); ++i) {
        std::size_t j = i;
        while (j + 1 < passed.size() && passed[j + 1] == passed[j] + 1) ++j;
        text += (text.empty() ? "" : ",") + std::to_string(passed[i]) + (j > i ? "-" + std::to_string(passed[j]) : "");
        i = j;
    }
    signed char held = 0;
    if (limit.Held(held)) text += " held " + std::to_string(held);
    return text;
}

}  // namespace

TEST(LevelRateLimit, PassesAtMost25LevelsAnInterval) {
    const std::uint32_t wrap = 0xFFFFFFF0u;  // 16 ms before the tick count wraps
    struct {
        const char* name;
        std::uint32_t start;
        std::vector<Step> steps;
        const char* passed;
    } cases[] = {
        {"a recorder's pace passes whole", 0, {{0, 0, 5000}, {40, 3, 0}, {40, 0, 5000}, {80, 3, 0}}, "1-6"},
        {"a read beyond the room passes its newest", 0, {{0, 30, 0}}, "6-30"},
        {"the room left in the interval", 0, {{0, 20, 0}, {50, 10, 0}}, "1-20,26-30"},
        {"a full interval holds the newest until the next", 0,
         {{0, 25, 0}, {50, 3, 0}, {60, 0, 40}, {99, 0, 1}, {100, 0, 5000}},
         "1-25,28"},
        {"a newer read replaces the level held", 0, {{0, 25, 0}, {50, 1, 0}, {70, 1, 0}, {100, 0, -1}}, "1-25,27"},
        {"a read in the next interval passes, the held level dropped", 0,
         {{0, 25, 0}, {50, 1, 0}, {120, 2, 0}, {130, 0, 5000}},
         "1-25,27-28"},
        {"the link ends with a level held", 0, {{0, 25, 0}, {50, 4, 0}}, "1-25 held 29"},
        {"the interval counts from the tick before the wrap", wrap,
         {{wrap, 25, 0}, {0x50, 1, 0}, {0x50, 0, 4}, {0x54, 0, 5000}},
         "1-26"},
    };
    for (const auto& c : cases) EXPECT_EQ(Passed(c.start, c.steps), c.passed) << c.name;
}

TEST(LevelRateLimit, WaitsNoLongerThanTheSilenceLeft) {
    LevelRateLimit limit(0);
    const signed char levels[25] = {};
    limit.Admit(0, levels, 25);
    limit.Admit(0, levels, 1);  // held: no room left
    signed char level = 0;
    EXPECT_FALSE(limit.TakeHeld(10, level));
    EXPECT_EQ(limit.WaitMs(10, 5000), 90);  // the interval lets it through at 100
    EXPECT_EQ(limit.WaitMs(10, 30), 30);    // unless the link counts as broken before
    EXPECT_EQ(limit.Admit(20, levels, 0), 0u);  // an empty read changes nothing
    EXPECT_TRUE(limit.Held(level));
}
