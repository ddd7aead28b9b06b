// The activity log's lines, file names and tail buffer over any times and
// texts: every line ends with its line break inside its buffer, and the tail
// is always the end of everything appended.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/logformat.h"
#include "core/logtail.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

int Field(const std::uint8_t* p) { return static_cast<std::int16_t>(p[0] | p[1] << 8); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kTimeBytes = 12;
    if (size < kTimeBytes) return 0;
    const LogTime t{Field(data), Field(data + 2), Field(data + 4), Field(data + 6), Field(data + 8), Field(data + 10)};
    const std::string text(reinterpret_cast<const char*>(data + kTimeBytes), size - kTimeBytes);

    char name[qdx::kTextSize];
    FormatLogFileName(t, name);
    Check(::strnlen(name, sizeof name) < sizeof name);

    char line[kLogLineSize];
    FormatLogLine(t, text.c_str(), line);
    const std::size_t length = ::strnlen(line, sizeof line);
    Check(length >= 2 && length < sizeof line && line[length - 2] == '\r' && line[length - 1] == '\n');

    // The text in pieces (split at line feeds), as lines reach the view.
    LogTail tail;
    std::string all;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string piece = text.substr(start, end - start);
        tail.Append(piece.c_str());
        all += piece.c_str();
        Check(tail.Length() < LogTail::kCapacity && std::strlen(tail.Text()) == tail.Length());
        Check(all.compare(all.size() - tail.Length(), tail.Length(), tail.Text()) == 0);
        Check(tail.CaretPosition() <= tail.Length());
        if (end == text.size()) break;
        start = end;
    }
    tail.Append(line);  // a line is shorter than what a cut keeps: it stays whole
    Check(tail.Length() >= length && std::strcmp(tail.Text() + tail.Length() - length, line) == 0);
    return 0;
}
