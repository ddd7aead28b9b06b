// Window messages from the connection worker to the window that started it.
#pragma once

#include <windows.h>

constexpr UINT WM_LINK_STARTED = WM_USER + 32;  // first message of every run
constexpr UINT WM_LINK_ENDED = WM_USER + 33;    // last message of every run
constexpr UINT WM_LINK_LEVEL = WM_USER + 34;    // wParam: level byte, sign-extended (-128..127)
constexpr UINT WM_LINK_STATUS = WM_USER + 35;   // wParam: 0 plain, 1 alert; lParam: the text
// The server took the login and the record request goes out: from here on the
// run records, until WM_LINK_ENDED.
constexpr UINT WM_LINK_RECORDING = WM_USER + 36;

// The text of a WM_LINK_STATUS message is a heap copy made by the worker and
// posted with the message, so it stays valid and unchanged however late the
// window gets to it, and all four messages reach the window in the order the
// worker produced them. The window that handles the message owns the text:
// it takes it with this owner, which frees it at the end of the handler.
//
// Any process can post WM_LINK_STATUS to a window it finds, with any lParam.
// So every text the worker makes is recorded in a process-wide table until it
// is taken or discarded, and only a recorded value is ever read or freed: an
// lParam that is not in the table (0, a forged value, a text already taken)
// gives no text and is never dereferenced.
class LinkStatusText {
public:
    // Takes the text if lParam is one that Make handed out and nobody took yet.
    explicit LinkStatusText(LPARAM lParam) noexcept;
    ~LinkStatusText();
    LinkStatusText(const LinkStatusText&) = delete;
    LinkStatusText& operator=(const LinkStatusText&) = delete;
    const char* Get() const noexcept;  // null when the message carried no text of ours

    // Worker side: a recorded heap copy of text for posting (0 when out of memory).
    static LPARAM Make(const char* text) noexcept;
    // Frees a recorded text whose message could not be posted; anything else is left alone.
    static void Discard(LPARAM lParam) noexcept;

private:
    struct Node;
    static Node* Take(LPARAM lParam) noexcept;
    static Node* table_;  // the texts handed out and not yet taken
    Node* node_;
};
