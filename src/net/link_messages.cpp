#include "net/link_messages.h"

#include <cstring>

// Texts live on the process heap: the worker allocates, whichever side ends up
// holding the text frees it, and neither depends on the other's C runtime state.

LinkStatusText::~LinkStatusText() { Discard(reinterpret_cast<LPARAM>(text_)); }

LPARAM LinkStatusText::Make(const char* text) noexcept {
    if (!text) text = "";
    std::size_t size = strlen(text) + 1;
    void* copy = ::HeapAlloc(::GetProcessHeap(), 0, size);
    if (!copy) return 0;
    memcpy(copy, text, size);
    return reinterpret_cast<LPARAM>(copy);
}

void LinkStatusText::Discard(LPARAM lParam) noexcept {
    if (lParam) ::HeapFree(::GetProcessHeap(), 0, reinterpret_cast<void*>(lParam));
}
