// The silence alert's decision, free of windows and clocks: told the time and
// every level the window shows, it says when the line has been silent for
// the set stretch and when sound has come back.
//
// Silence is a level at or below the meter's floor (its left edge: the
// server's level scale is its own, and whatever the meter cannot show is
// nothing to the agent). A silent stretch starts when the recording starts,
// or with the first silent level after one above the floor. A level that
// arrives later than the one before says nothing about the time in between:
// the line is taken to have stayed as its last level said, so a server that
// sends a level every few seconds is judged by those levels, and the time
// without one is not counted as silence while the last level was sound.
//
// Time goes on without levels, so the owner calls Tick from a timer as well;
// one alert per silent stretch, then one "sound again" when a level rises
// above the floor. When the recording ends the watch is stopped and says
// nothing more: a silence that outlasts the recording gets no second line,
// and a recording shorter than the stretch no alert at all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/meter_geometry.h"

namespace silence {

constexpr int kFloorLevel = meter::kMinLevel;  // at or below: silence
constexpr int kDefaultSeconds = 15;
constexpr int kMaxSeconds = 24 * 60 * 60;  // longer stretches are taken as this

enum class Event { kNone, kAlert, kSoundAgain };

class SilenceWatch {
public:
    // Starts watching a recording at nowMs (a millisecond tick that may wrap);
    // a stretch of 0 or less watches nothing.
    void Start(std::uint32_t nowMs, int stretchSeconds) noexcept;
    void Stop() noexcept { watching_ = false; }
    Event Level(std::uint32_t nowMs, int level) noexcept;
    Event Tick(std::uint32_t nowMs) noexcept;

    bool Watching() const noexcept { return watching_; }
    bool Alerted() const noexcept { return alerted_; }
    int StretchSeconds() const noexcept { return stretchSeconds_; }

private:
    bool watching_ = false;
    bool quiet_ = false;    // the last level (or the start) was silence
    bool alerted_ = false;  // the alert for this silent stretch was given
    int stretchSeconds_ = 0;
    std::uint32_t quietSince_ = 0;
};

// "No sound on the line for 15 seconds" ("1 second" for one).
void FormatSilenceAlert(int seconds, char* out, std::size_t cap) noexcept;
constexpr char kSoundAgainText[] = "Sound on the line again";

}  // namespace silence
