// The activity log's clock: the tick count for the alert and the local time
// for the line and the file of the day. Tests set their own; nullptr brings
// back the system's (GetTickCount, GetLocalTime).
#pragma once

#include <windows.h>

using LogTickSource = DWORD (*)();
using LogLocalTimeSource = bool (*)(SYSTEMTIME* out);  // false: no local time available

void SetLogClock(LogTickSource tick, LogLocalTimeSource localTime) noexcept;
