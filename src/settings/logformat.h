// The pure parts of the activity log: file names, line formatting and the
// alert's end, computed from given times so they can be checked without a clock.
#pragma once

#include <windows.h>

#include "common/text.h"

constexpr unsigned kLogLineSize = 2048;  // a formatted line with its terminator
// "hh:mm:ss " + text + "\r\n" + terminator: a longer text is cut to this.
constexpr unsigned kLogTextMax = kLogLineSize - 9 - 2 - 1;

// "20yy-mm-dd QDX Remote Control Log.txt" for the local date in t.
void FormatLogFileName(const SYSTEMTIME& t, char (&out)[qdx::kTextSize]) noexcept;
// "hh:mm:ss text\r\n"; text beyond kLogTextMax characters is cut off so the
// line still ends with its line break.
void FormatLogLine(const SYSTEMTIME& t, const char* text, char (&out)[kLogLineSize]) noexcept;
// True when more than kLogAlertMillis have passed since alertTick. The
// difference is taken in unsigned 32-bit arithmetic, so a tick count that
// wrapped around 2^32 in between still gives the elapsed time.
bool LogAlertExpired(DWORD alertTick, DWORD now) noexcept;
