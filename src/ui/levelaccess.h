// What a screen reader is told of the level meter: a progress bar named
// "Level" whose value is the level shown, as a percentage of the scale.
#pragma once

#include <windows.h>

// WM_GETOBJECT of a meter: the object for OBJID_CLIENT, 0 for anything else
// (the caller then leaves the message to the default procedure).
LRESULT AnswerLevelObject(HWND meter, WPARAM wParam, LPARAM lParam);

// COM on the window's thread, which the meter's object needs (it is marshalled
// to the reader), is initialised when a screen reader first asks for it: a
// single-threaded apartment, as a thread with windows needs. The thread ends
// it with this call once its windows are gone.
void EndLevelAccess();
