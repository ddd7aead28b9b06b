// What a screen reader is told of the level meter: a progress bar named
// "Level" whose value is the level shown, as a percentage of the scale.
#pragma once

#include <windows.h>

// WM_GETOBJECT of a meter: the object for OBJID_CLIENT, 0 for anything else
// (the caller then leaves the message to the default procedure).
LRESULT AnswerLevelObject(HWND meter, WPARAM wParam, LPARAM lParam);
