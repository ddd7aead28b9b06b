// Window messages from the connection worker to the window that started it.
#pragma once

#include <windows.h>

constexpr UINT WM_LINK_STARTED = WM_USER + 32;  // first message of every run
constexpr UINT WM_LINK_ENDED = WM_USER + 33;    // last message of every run
constexpr UINT WM_LINK_LEVEL = WM_USER + 34;    // wParam: level byte, sign-extended (-128..127)
constexpr UINT WM_LINK_STATUS = WM_USER + 35;   // wParam: 0 plain, 1 alert; lParam: the text

// The text of a WM_LINK_STATUS message is a heap copy made by the worker and
// posted with the message, so it stays valid and unchanged however late the
// window gets to it, and all four messages reach the window in the order the
// worker produced them. The window that handles the message owns the text:
// it takes it with this owner, which frees it at the end of the handler.
class LinkStatusText {
public:
    explicit LinkStatusText(LPARAM lParam) noexcept : text_(reinterpret_cast<char*>(lParam)) {}
    ~LinkStatusText();
    LinkStatusText(const LinkStatusText&) = delete;
    LinkStatusText& operator=(const LinkStatusText&) = delete;
    const char* Get() const noexcept { return text_; }  // null when the message carried none

    // Worker side: a heap copy of text for posting (null when out of memory).
    static LPARAM Make(const char* text) noexcept;
    // Worker side: frees a text whose message could not be posted.
    static void Discard(LPARAM lParam) noexcept;

private:
    char* text_;
};
