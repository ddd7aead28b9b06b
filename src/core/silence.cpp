#include "core/silence.h"

#include "core/text.h"

namespace silence {

void SilenceWatch::Start(std::uint32_t nowMs, int stretchSeconds) noexcept {
    stretchSeconds_ = stretchSeconds > kMaxSeconds ? kMaxSeconds : stretchSeconds;
    watching_ = stretchSeconds_ > 0;
    quiet_ = true;  // nothing heard yet
    alerted_ = false;
    quietSince_ = nowMs;
}

Event SilenceWatch::Level(std::uint32_t nowMs, int level) noexcept {
    if (!watching_) return Event::kNone;
    if (level <= kFloorLevel) {
        if (!quiet_) {
            quiet_ = true;
            quietSince_ = nowMs;
        }
        return Tick(nowMs);
    }
    quiet_ = false;
    if (!alerted_) return Event::kNone;
    alerted_ = false;
    return Event::kSoundAgain;
}

Event SilenceWatch::Tick(std::uint32_t nowMs) noexcept {
    if (!watching_ || !quiet_ || alerted_) return Event::kNone;
    // Unsigned difference: right across the tick's wrap.
    if (nowMs - quietSince_ < static_cast<std::uint32_t>(stretchSeconds_) * 1000u) return Event::kNone;
    alerted_ = true;
    return Event::kAlert;
}

void FormatSilenceAlert(int seconds, char* out, std::size_t cap) noexcept {
    qdx::FormatText(out, cap, "No sound on the line for %d second%s", seconds, seconds == 1 ? "" : "s");
}

}  // namespace silence
