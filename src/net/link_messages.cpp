#include "net/link_messages.h"

#include <cstddef>
#include <cstring>

// Texts live on the process heap: the worker allocates, whichever side ends up
// holding the text frees it, and neither depends on the other's C runtime state.
// Each text sits behind a link of the table of texts not yet taken; a text that
// never reaches a window (the window went first, at exit) stays there until the
// process ends, as any lost heap block would.

struct LinkStatusText::Node {
    Node* next;
    char text[1];  // the text's bytes, terminator included, run on past the struct
};

LinkStatusText::Node* LinkStatusText::table_ = nullptr;

namespace {
SRWLOCK tableLock = SRWLOCK_INIT;
}

// Unlinks and returns the node whose text is at lParam, or null. Only the
// table's own nodes are read: lParam is compared, never followed.
LinkStatusText::Node* LinkStatusText::Take(LPARAM lParam) noexcept {
    if (!lParam) return nullptr;
    ::AcquireSRWLockExclusive(&tableLock);
    Node* found = nullptr;
    for (Node** link = &table_; *link; link = &(*link)->next) {
        if (reinterpret_cast<LPARAM>((*link)->text) == lParam) {
            found = *link;
            *link = found->next;
            break;
        }
    }
    ::ReleaseSRWLockExclusive(&tableLock);
    return found;
}

LinkStatusText::LinkStatusText(LPARAM lParam) noexcept : node_(Take(lParam)) {}

LinkStatusText::~LinkStatusText() {
    if (node_) ::HeapFree(::GetProcessHeap(), 0, node_);
}

const char* LinkStatusText::Get() const noexcept { return node_ ? node_->text : nullptr; }

LPARAM LinkStatusText::Make(const char* text) noexcept {
    if (!text) text = "";
    const std::size_t size = strlen(text) + 1;
    Node* node = static_cast<Node*>(::HeapAlloc(::GetProcessHeap(), 0, offsetof(Node, text) + size));
    if (!node) return 0;
    memcpy(node->text, text, size);
    ::AcquireSRWLockExclusive(&tableLock);
    node->next = table_;
    table_ = node;
    ::ReleaseSRWLockExclusive(&tableLock);
    return reinterpret_cast<LPARAM>(node->text);
}

void LinkStatusText::Discard(LPARAM lParam) noexcept {
    LinkStatusText owner(lParam);  // frees it when it was ours
}
