// The product's help, opened in the reader this system uses (the WinHelp
// reader or the user's browser, see core/helpfiles.h). Both belong to other
// programs: the client keeps no hold on them and does not close them.
#pragma once

#include <windows.h>

// At the help's contents. False when nothing was opened.
bool ShowHelpContents(HWND owner);
// At the topic of a context number (the contents page in the browser for a
// number the help does not map). False when nothing was opened.
bool DisplayHelpContents(HWND owner, DWORD context);
