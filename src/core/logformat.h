// The pure parts of the activity log: file names, line formatting and the
// alert's end, computed from given times so they can be checked without a clock.
#pragma once

#include <cstdint>

#include "core/text.h"

// A local date and time as the log shows it.
struct LogTime {
    int year, month, day;
    int hour, minute, second;
};

constexpr unsigned kLogLineSize = 2048;  // a formatted line with its terminator
// "hh:mm:ss " + text + "\r\n" + terminator: a longer text is cut to this.
constexpr unsigned kLogTextMax = kLogLineSize - 9 - 2 - 1;
constexpr std::uint32_t kLogAlertMillis = 60000;  // an alert keeps the view red at least this long

// "20yy-mm-dd QDX Remote Control Log.txt" for the local date in t.
void FormatLogFileName(const LogTime& t, char (&out)[qdx::kTextSize]) noexcept;
// "hh:mm:ss text\r\n"; text beyond kLogTextMax characters is cut off so the
// line still ends with its line break.
void FormatLogLine(const LogTime& t, const char* text, char (&out)[kLogLineSize]) noexcept;
// True when more than kLogAlertMillis have passed since alertTick. The
// difference is taken in unsigned 32-bit arithmetic, so a tick count that
// wrapped around 2^32 in between still gives the elapsed time.
bool LogAlertExpired(std::uint32_t alertTick, std::uint32_t now) noexcept;
