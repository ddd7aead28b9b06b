#include "core/elapsed.h"

#include "core/text.h"

namespace elapsed {

void FormatElapsed(std::uint32_t seconds, char* out, std::size_t cap) noexcept {
    const unsigned hours = seconds / 3600;
    const unsigned minutes = seconds / 60 % 60;
    const unsigned rest = seconds % 60;
    if (hours)
        qdx::FormatText(out, cap, "%u:%02u:%02u", hours, minutes, rest);
    else
        qdx::FormatText(out, cap, "%u:%02u", minutes, rest);
}

}  // namespace elapsed
