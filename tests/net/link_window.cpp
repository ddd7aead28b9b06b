#include "link_window.h"

namespace {
const char kClassName[] = "QdxLinkTestWindow";
}

LinkWindow::LinkWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    hwnd_ = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LinkWindow::~LinkWindow() {
    if (hwnd_) DestroyWindow(hwnd_);
    // Texts still queued for a destroyed window are the test's leftovers; free them.
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_LINK_STATUS, WM_LINK_STATUS, PM_REMOVE)) LinkStatusText::Discard(m.lParam);
}

LRESULT CALLBACK LinkWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<LinkWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, msg, wParam, lParam);
    switch (msg) {
        case WM_LINK_STARTED:
        case WM_LINK_ENDED:
        case WM_LINK_LEVEL:
        case WM_LINK_RECORDING:
            self->events_.push_back({msg, static_cast<INT_PTR>(wParam), std::string(), false});
            return 0;
        case WM_LINK_STATUS: {
            LinkStatusText text(lParam);
            self->events_.push_back({msg, static_cast<INT_PTR>(wParam), text.Get() ? text.Get() : "", text.Get() != nullptr});
            return 0;
        }
        case WM_TIMER:
            ++self->timerTicks;
            return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

template <typename Done>
bool LinkWindow::PumpUntil(Done done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
            if (done()) return true;
        }
        if (done()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed < 20 ? timeoutMs - elapsed : 20, QS_ALLINPUT);
    }
}

bool LinkWindow::PumpUntilEnded(int count, DWORD timeoutMs) {
    return PumpUntil([&] { return Count(WM_LINK_ENDED) >= count; }, timeoutMs);
}

bool LinkWindow::PumpUntilText(const std::string& part, DWORD timeoutMs) {
    return PumpUntil(
        [&] {
            for (const LinkEvent& e : events_)
                if (e.msg == WM_LINK_STATUS && e.text.find(part) != std::string::npos) return true;
            return false;
        },
        timeoutMs);
}

bool LinkWindow::PumpUntilLevels(std::size_t count, DWORD timeoutMs) {
    return PumpUntil([&] { return Levels().size() >= count; }, timeoutMs);
}

void LinkWindow::PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

int LinkWindow::Count(UINT msg) const {
    int n = 0;
    for (const LinkEvent& e : events_) n += e.msg == msg;
    return n;
}

std::vector<std::string> LinkWindow::Texts() const {
    std::vector<std::string> texts;
    for (const LinkEvent& e : events_)
        if (e.msg == WM_LINK_STATUS) texts.push_back((e.wParam == 1 ? "!" : e.wParam == 0 ? "" : "?") + e.text);
    return texts;
}

std::vector<int> LinkWindow::Levels() const {
    std::vector<int> levels;
    for (const LinkEvent& e : events_)
        if (e.msg == WM_LINK_LEVEL) levels.push_back(static_cast<int>(e.wParam));
    return levels;
}

std::string LinkWindow::Outline() const {
    std::string outline;
    for (const LinkEvent& e : events_) {
        if (e.msg == WM_LINK_STARTED) outline += 'S';
        if (e.msg == WM_LINK_ENDED) outline += 'E';
        if (e.msg == WM_LINK_RECORDING) outline += 'R';
        if (e.msg == WM_LINK_STATUS) outline += 'T';
    }
    return outline;
}
