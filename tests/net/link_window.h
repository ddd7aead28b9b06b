// A message-only window that takes the worker's messages the way the main
// window does and keeps them in order, for the worker tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "net/link_messages.h"

struct LinkEvent {
    UINT msg;
    INT_PTR wParam;
    std::string text;  // WM_LINK_STATUS only
    bool hadText;
};

class LinkWindow {
public:
    LinkWindow();
    ~LinkWindow();
    LinkWindow(const LinkWindow&) = delete;
    LinkWindow& operator=(const LinkWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    const std::vector<LinkEvent>& Events() const { return events_; }
    // Pumps until `count` WM_LINK_ENDED have arrived; false on time-out.
    bool PumpUntilEnded(int count, DWORD timeoutMs);
    // Pumps until a status text containing `part` has arrived.
    bool PumpUntilText(const std::string& part, DWORD timeoutMs);
    bool PumpUntilLevels(std::size_t count, DWORD timeoutMs);
    void PumpFor(DWORD ms);

    int Count(UINT msg) const;
    // The status texts in order, alerts marked "!" in front: {"Connecting to x", "!Unable ..."}.
    std::vector<std::string> Texts() const;
    std::vector<int> Levels() const;
    // The messages in order with levels left out: "S" started, "E" ended, "T" text,
    // "R" recording.
    std::string Outline() const;
    int timerTicks = 0;  // WM_TIMER seen

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    template <typename Done>
    bool PumpUntil(Done done, DWORD timeoutMs);
    HWND hwnd_ = nullptr;
    std::vector<LinkEvent> events_;
};
