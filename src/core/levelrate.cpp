#include "core/levelrate.h"

void LevelRateLimit::StartIntervalWhenDue(std::uint32_t now) noexcept {
    if (now - intervalStart_ >= kIntervalMs) {
        intervalStart_ = now;
        passed_ = 0;
    }
}

bool LevelRateLimit::TakeHeld(std::uint32_t now, signed char& level) noexcept {
    StartIntervalWhenDue(now);
    if (!held_ || passed_ >= kMaxPerInterval) return false;
    ++passed_;
    held_ = false;
    level = heldLevel_;
    return true;
}

int LevelRateLimit::WaitMs(std::uint32_t now, int silenceLeftMs) const noexcept {
    const int intervalLeft = static_cast<int>(kIntervalMs - (now - intervalStart_));
    return held_ && intervalLeft < silenceLeftMs ? intervalLeft : silenceLeftMs;
}

std::size_t LevelRateLimit::Admit(std::uint32_t now, const signed char* levels, std::size_t n) noexcept {
    if (n == 0) return 0;
    StartIntervalWhenDue(now);
    const std::size_t room = static_cast<std::size_t>(kMaxPerInterval - passed_);
    const std::size_t first = n > room ? n - room : 0;
    passed_ += static_cast<int>(n - first);
    held_ = room == 0;
    heldLevel_ = levels[n - 1];
    return first;
}

bool LevelRateLimit::Held(signed char& level) const noexcept {
    if (held_) level = heldLevel_;
    return held_;
}
