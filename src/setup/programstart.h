// The start of the installed program, at the end of the install, and of the
// uninstaller's copy.
#pragma once

// Starts the installed program at the end of the install. An elevated setup
// asks the desktop shell to start it, so that it runs with the signed-in
// user's ordinary rights; where there is no such shell (or the setup is not
// elevated), it is started as StartProgram does.
void StartInstalledProgram(const char* path);

// Starts a program shown normally, its path quoted: the install folder lies
// under "Program Files", and an unquoted command line would start whatever
// file is named "C:\Program" (or the like) instead. arguments, when given,
// follow the quoted path as they are (with their leading space).
void StartProgram(const char* path, const char* arguments);
