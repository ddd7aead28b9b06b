#include "core/logtail.h"

#include <cstring>

void LogTail::Append(const char* text) noexcept {
    if (!text) text = "";
    for (const char* p = text;; ++p) {
        if (length_ >= kCapacity) {
            std::memmove(text_, text_ + kDrop, kCapacity - kDrop);
            length_ = kCapacity - kDrop;
        }
        text_[length_] = *p;
        if (*p == '\0') break;
        ++length_;
    }
}

void LogTail::Clear() noexcept {
    text_[0] = '\0';
    length_ = 0;
}
