#include "setup/marker.h"

#include <windows.h>

namespace {

qdx::UniqueFile OpenForReading(const char* path) {
    return qdx::UniqueFile(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadExactly(HANDLE file, void* buffer, DWORD size) {
    DWORD got = 0;
    return ::ReadFile(file, buffer, size, &got, nullptr) && got == size;
}

bool SeekFromEnd(HANDLE file, LONGLONG distance) {
    LARGE_INTEGER move;
    move.QuadPart = -distance;
    return ::SetFilePointerEx(file, move, nullptr, FILE_END) != 0;
}

}  // namespace

std::uint32_t ReadRunModeMarker(const char* path) {
    qdx::UniqueFile file = OpenForReading(path);
    if (!file) return NO_MARKER;
    unsigned char bytes[kMarkerSize];
    // A file shorter than a marker has none; a partial read must not be taken
    // for one.
    if (!SeekFromEnd(file.Get(), kMarkerSize) || !ReadExactly(file.Get(), bytes, sizeof bytes)) return NO_MARKER;
    return ReadLE32(bytes);
}

void AppendMarker(const char* path, std::uint32_t value) {
    qdx::UniqueFile file(
        ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    unsigned char bytes[kMarkerSize];
    WriteLE32(bytes, value);
    DWORD written = 0;
    if (::SetFilePointer(file.Get(), 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER)
        ::WriteFile(file.Get(), bytes, sizeof bytes, &written, nullptr);
}

PackageOpen OpenSetupPackage(const char* path, std::size_t count, qdx::UniqueFile& file, SetupTrailer& trailer) {
    file = OpenForReading(path);
    if (!file) return PackageOpen::kCannotOpen;
    if (count < 1 || count > kMaxSetupFiles) return PackageOpen::kDamaged;
    LARGE_INTEGER length;
    if (!::GetFileSizeEx(file.Get(), &length)) return PackageOpen::kDamaged;
    const std::size_t trailerSize = SetupTrailerSize(count);
    if (length.QuadPart < static_cast<LONGLONG>(trailerSize)) return PackageOpen::kDamaged;

    unsigned char bytes[SetupTrailerSize(kMaxSetupFiles)];
    if (!SeekFromEnd(file.Get(), static_cast<LONGLONG>(trailerSize)) ||
        !ReadExactly(file.Get(), bytes, static_cast<DWORD>(trailerSize)) ||
        !ParseSetupTrailer(bytes, count, trailer))
        return PackageOpen::kDamaged;
    // Checked before anything is extracted: sizes beyond the end would write
    // truncated files over a working install.
    if (!SetupTrailerFits(trailer, static_cast<std::uint64_t>(length.QuadPart))) return PackageOpen::kDamaged;

    LARGE_INTEGER start;
    start.QuadPart = 0;
    if (!::SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) return PackageOpen::kDamaged;
    return PackageOpen::kOk;
}
