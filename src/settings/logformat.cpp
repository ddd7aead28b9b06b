#include "settings/logformat.h"

#include <cstdio>
#include <cstring>

#include "settings/activitylog.h"

void FormatLogFileName(const SYSTEMTIME& t, char (&out)[qdx::kTextSize]) noexcept {
    qdx::FormatText(out, sizeof out, "20%.2d-%.2d-%.2d QDX Remote Control Log.txt", t.wYear % 100, t.wMonth, t.wDay);
}

void FormatLogLine(const SYSTEMTIME& t, const char* text, char (&out)[kLogLineSize]) noexcept {
    int prefix = qdx::FormatText(out, sizeof out, "%.2d:%.2d:%.2d ", t.wHour, t.wMinute, t.wSecond);
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

bool LogAlertExpired(DWORD alertTick, DWORD now) noexcept {
    return static_cast<DWORD>(now - alertTick) > kLogAlertMillis;
}
