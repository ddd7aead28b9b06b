// Fixed-size ANSI text buffers: the bound is a named constant and every copy
// checks it. Texts and paths hold at most 259 characters and the terminator.
#pragma once

#include <cstddef>
#include <cstring>

namespace qdx {

constexpr std::size_t kTextSize = 260;  // characters, terminator included

// Copies src into dst (capacity cap, terminator included), cutting it when
// needed; dst is always terminated. Returns the number of characters copied.
inline std::size_t CopyText(char* dst, std::size_t cap, const char* src) noexcept {
    if (!dst || cap == 0) return 0;
    std::size_t n = 0;
    if (src) {
        while (n + 1 < cap && src[n] != '\0') {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = '\0';
    return n;
}

template <std::size_t N>
inline std::size_t CopyText(char (&dst)[N], const char* src) noexcept {
    return CopyText(dst, N, src);
}

// Appends src to the text in dst without passing the capacity. Returns the new length.
inline std::size_t AppendText(char* dst, std::size_t cap, const char* src) noexcept {
    if (!dst || cap == 0) return 0;
    std::size_t n = ::strnlen(dst, cap);
    if (n >= cap) {  // unterminated: terminate at the last place
        dst[cap - 1] = '\0';
        return cap - 1;
    }
    return n + CopyText(dst + n, cap - n, src);
}

template <std::size_t N>
inline std::size_t AppendText(char (&dst)[N], const char* src) noexcept {
    return AppendText(dst, N, src);
}

}  // namespace qdx
