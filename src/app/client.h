// The client run of the process: the main window until it is gone.
#pragma once

#include <windows.h>

// The window of a client already running on this desktop, or null.
HWND FindRunningClient();
// Restores a running client's window and brings it to the front.
void ActivateRunningClient(HWND window);
// Constructs the main window object, runs it and destroys it.
void RunClient();
