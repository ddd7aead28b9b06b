// The start of a program through the desktop shell of the signed-in user, so
// that it runs with that user's ordinary rights, not the elevated setup's.
#pragma once

// Asks the desktop shell of the signed-in user to start the program at path,
// with that user's rights. False when there is no such shell to ask (none
// runs, or it does not offer the way) or it refused.
bool StartThroughDesktopShell(const char* path);
