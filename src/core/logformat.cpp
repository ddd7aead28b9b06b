#include "core/logformat.h"

#include <cstring>

void FormatLogFileName(const LogTime& t, char (&out)[qdx::kTextSize]) noexcept {
    qdx::FormatText(out, sizeof out, "20%.2d-%.2d-%.2d QDX Remote Control Log.txt", t.year % 100, t.month, t.day);
}

void FormatLogLine(const LogTime& t, const char* text, char (&out)[kLogLineSize]) noexcept {
    int prefix = qdx::FormatText(out, sizeof out, "%.2d:%.2d:%.2d ", t.hour, t.minute, t.second);
    if (prefix < 0) prefix = 0;
    std::size_t n = static_cast<std::size_t>(prefix);
    if (n > sizeof out - 3) n = sizeof out - 3;
    std::size_t room = sizeof out - 3 - n;  // keeps "\r\n" and the terminator
    std::size_t length = text ? ::strnlen(text, room) : 0;
    if (length) std::memcpy(out + n, text, length);
    n += length;
    out[n++] = '\r';
    out[n++] = '\n';
    out[n] = '\0';
}

bool LogAlertExpired(std::uint32_t alertTick, std::uint32_t now) noexcept {
    return static_cast<std::uint32_t>(now - alertTick) > kLogAlertMillis;
}
