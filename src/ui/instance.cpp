#include "ui/instance.h"

namespace {
HINSTANCE g_instance = nullptr;
}

void SetAppInstance(HINSTANCE instance) noexcept {
    g_instance = instance;
}

HINSTANCE AppInstance() noexcept {
    return g_instance ? g_instance : ::GetModuleHandleA(nullptr);
}
