#include "desktop.h"

#include <vector>

namespace qdxtest {

void PumpMessages() {
    for (int round = 0; round < 5; ++round) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(10);
    }
}

void SendKey(WORD virtualKey, bool up, int count) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    std::vector<INPUT> batch(count > 0 ? count : 0, input);
    ::SendInput(static_cast<UINT>(batch.size()), batch.data(), sizeof input);
    ::Sleep(30);
}

void PressKey(WORD virtualKey) {
    SendKey(virtualKey, false);
    SendKey(virtualKey, true);
}

void MakeForeground(HWND window) {
    if (::GetForegroundWindow() != window) ::SetForegroundWindow(window);
    WaitUntil([&] { return ::GetForegroundWindow() == window; }, 3000);
    // The X focus follows a moment later in the window's process, and with it
    // the key state of the X server, where no key is down: a modifier sent
    // before that would be let go. Give it the time, then a round trip.
    ::Sleep(200);
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, 2000, &ignored);
}

std::string WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return "";
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                               2000, &copied))
        return "";
    text.resize(copied);
    return text;
}

qdx::UniqueWindow ShowParentWindow(const char* title, int width, int height) {
    static const ATOM kClass = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = "QdxTestParent";
        return ::RegisterClassA(&wc);
    }();
    qdx::UniqueWindow window(::CreateWindowExA(0, MAKEINTATOM(kClass), title, WS_POPUP | WS_VISIBLE, 20, 20, width,
                                               height, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr));
    EXPECT_TRUE(window) << "parent window";
    return window;
}

}  // namespace qdxtest
