// Driving windows from a test: waiting while this thread's messages are
// handled, real keyboard input, the foreground window, and a shown parent
// window for controls under test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/handles.h"

namespace qdxtest {

constexpr DWORD kWaitMs = 15000;

// Handles this thread's queued messages for about 50 ms.
void PumpMessages();

// Polls a condition every 20 ms, handling this thread's messages meanwhile,
// until it holds or the time is up.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = kWaitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(20);
    }
}

// Real keyboard input to the foreground window: `count` events of the key
// in one batch (several key-downs are what auto-repeat gives), then a pause.
void SendKey(WORD virtualKey, bool up, int count = 1);
void PressKey(WORD virtualKey);  // down and up
void MakeForeground(HWND window);

// The text of a window of any process (empty when it does not answer within 2 s).
std::string WindowText(HWND window);

// A shown top-level window in the dialog colour.
qdx::UniqueWindow ShowParentWindow(const char* title, int width, int height);

// A test whose controls need a shown parent window; each test gets its own.
class ParentWindowTest : public ::testing::Test {
protected:
    ParentWindowTest(int width, int height) : parent_(ShowParentWindow("parent", width, height)) {}
    HWND Parent() const { return parent_.Get(); }

private:
    qdx::UniqueWindow parent_;
};

}  // namespace qdxtest
