// The program's instance handle, stored once by WinMain; every resource load
// and class registration uses it.
#pragma once

#include <windows.h>

void SetAppInstance(HINSTANCE instance) noexcept;
// The stored handle, or the executable's own module when none was stored (tests).
HINSTANCE AppInstance() noexcept;
