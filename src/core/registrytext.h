// Registry text values as stored bytes: the registry keeps whatever bytes and
// type a writer gave, so a value may lack its terminator or not be text at all.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qdx {

// The registry's value types that hold text (REG_SZ, and REG_EXPAND_SZ, which
// is taken as stored, unexpanded).
constexpr std::uint32_t kRegistryText = 1;
constexpr std::uint32_t kRegistryExpandText = 2;

// Decodes a value of `type` whose stored bytes are data[0..size) into out
// (capacity cap bytes, terminator included). The text ends at the first zero
// byte, or at the stored size when there is none. False, with out untouched,
// for a type that is not text or a text that does not fit with its terminator
// (with cap 0 none does).
bool DecodeRegistryText(std::uint32_t type, const char* data, std::size_t size, char* out, std::size_t cap) noexcept;

}  // namespace qdx
