// The rate at which the level bytes a recorder sends are passed on to the
// window. A server that sends far faster than a level meter can show would
// keep the window's queue full, and a window with posted messages waiting gets
// to its input and painting only after them: the user could not even press
// Stop. Level bytes beyond this rate are still read, but not passed on. A
// recorder sends a few dozen a second; the limit is well above that.
//
// Levels beyond the limit are dropped, but the newest of them is kept and
// passed on when the limit next lets one through, or when the link goes quiet
// or ends: the meter always ends on the newest level read.
//
// Times are the system's millisecond tick count, which wraps: only the
// differences between them count.
#pragma once

#include <cstddef>
#include <cstdint>

class LevelRateLimit {
public:
    static constexpr std::uint32_t kIntervalMs = 100;
    static constexpr int kMaxPerInterval = 25;

    // The first interval starts at now.
    explicit LevelRateLimit(std::uint32_t now) noexcept : intervalStart_(now) {}

    // Before each wait for levels: the level held back, when the interval at
    // now lets it through (it then counts as passed on); false otherwise.
    bool TakeHeld(std::uint32_t now, signed char& level) noexcept;
    // How long to wait for levels at now (after TakeHeld at the same time):
    // silenceLeftMs, or with a level held, only until the next interval lets
    // it through when that comes first.
    int WaitMs(std::uint32_t now, int silenceLeftMs) const noexcept;
    // The n levels of one read at now, oldest first: the index of the first to
    // pass on (those from there to the end count as passed on). What came at
    // once is kept newest first: when there is no room left in the interval,
    // none passes and the newest is held back.
    std::size_t Admit(std::uint32_t now, const signed char* levels, std::size_t n) noexcept;
    // The level held back, to pass on as the link ends; false when none is.
    bool Held(signed char& level) const noexcept;

private:
    void StartIntervalWhenDue(std::uint32_t now) noexcept;

    std::uint32_t intervalStart_;
    int passed_ = 0;  // levels passed on in the interval
    bool held_ = false;
    signed char heldLevel_ = 0;
};
