// Fixed-size ANSI text buffers: the bound is a named constant and every copy
// checks it. Texts and paths hold at most 259 characters and the terminator.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
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

// printf-style formatting into a fixed buffer, always terminated. Returns the
// number of characters written, or -1 when the text did not fit (it is then
// cut at the capacity). On Windows it uses the system C library's formatter:
// the program only formats integers and texts, and this keeps a second, larger
// printf implementation out of the executable.
#if defined(_WIN32)
__attribute__((format(ms_printf, 3, 4)))
#else
__attribute__((format(printf, 3, 4)))
#endif
inline int FormatText(char* dst, std::size_t cap, const char* format, ...) noexcept {
    if (!dst || cap == 0) return -1;
    va_list args;
    va_start(args, format);
#if defined(_WIN32)
    int n = ::_vsnprintf(dst, cap, format, args);
#else
    int n = std::vsnprintf(dst, cap, format, args);
#endif
    va_end(args);
    if (n < 0 || static_cast<std::size_t>(n) >= cap) {
        dst[cap - 1] = '\0';
        return -1;
    }
    return n;
}

}  // namespace qdx
