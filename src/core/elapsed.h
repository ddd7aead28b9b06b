// How long a recording has run, as the window shows it: "2:05", and with
// hours once it passes one, "1:02:05".
#pragma once

#include <cstddef>
#include <cstdint>

namespace elapsed {

// Whole seconds, cut to the capacity; always terminated.
void FormatElapsed(std::uint32_t seconds, char* out, std::size_t cap) noexcept;

constexpr std::size_t kElapsedSize = 32;  // room for any 32-bit count of seconds and a prefix

}  // namespace elapsed
