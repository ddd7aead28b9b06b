// Wine's help reader as the tests see it: the topic it shows, and ending it.
#pragma once

#include <windows.h>

#include <string>

namespace qdxtest {

constexpr char kHelpReaderClass[] = "MS_WINHELP";

// Ends every running help reader: WM_CLOSE first, the process after a while.
void CloseHelpReaders();

// Closes the reader when a test starts and when it ends, however it ends.
struct HelpReaderGuard {
    HelpReaderGuard() { CloseHelpReaders(); }
    ~HelpReaderGuard() { CloseHelpReaders(); }
    HelpReaderGuard(const HelpReaderGuard&) = delete;
    HelpReaderGuard& operator=(const HelpReaderGuard&) = delete;
};

// The visible rich edit control of a reader window, which shows the topic; or null.
HWND HelpTopicControl(HWND reader);
// The text of the topic a visible reader shows; empty when none.
std::string HelpTopicText();

}  // namespace qdxtest
