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

bool AppendMarker(const char* path, std::uint32_t value) {
    qdx::UniqueFile file(
        ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    unsigned char bytes[kMarkerSize];
    WriteLE32(bytes, value);
    LARGE_INTEGER end;
    end.QuadPart = 0;
    if (!::SetFilePointerEx(file.Get(), end, nullptr, FILE_END)) return false;
    DWORD written = 0;
    if (!::WriteFile(file.Get(), bytes, sizeof bytes, &written, nullptr)) return false;
    if (written != sizeof bytes) {
        ::SetLastError(ERROR_DISK_FULL);  // a short write on a file: no room for the rest
        return false;
    }
    return true;
}

PackageOpen OpenSetupPackage(const char* path, qdx::UniqueFile& file, SetupTrailer& trailer) {
    file = OpenForReading(path);
    if (!file) return PackageOpen::kCannotOpen;
    LARGE_INTEGER length;
    if (!::GetFileSizeEx(file.Get(), &length)) return PackageOpen::kDamaged;
    constexpr std::size_t trailerSize = SetupTrailerSize(kSetupFileCount);
    if (length.QuadPart < static_cast<LONGLONG>(trailerSize)) return PackageOpen::kDamaged;

    unsigned char bytes[trailerSize];
    if (!SeekFromEnd(file.Get(), static_cast<LONGLONG>(trailerSize)) ||
        !ReadExactly(file.Get(), bytes, static_cast<DWORD>(trailerSize)) ||
        !ParseSetupTrailer(bytes, kSetupFileCount, trailer) ||
        !SetupSizesSound(trailer, static_cast<std::uint64_t>(length.QuadPart)))
        return PackageOpen::kDamaged;

    // Each file's start, checked against its kind before anything is written.
    for (std::size_t i = 0; i < kSetupFileCount; ++i) {
        unsigned char head[kSetupHeadSize];
        const DWORD want = static_cast<DWORD>(
            trailer.sizes[i] < static_cast<std::int32_t>(kSetupHeadSize) ? trailer.sizes[i] : kSetupHeadSize);
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(SetupFileOffset(trailer, i));
        if (!::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) || !ReadExactly(file.Get(), head, want) ||
            !SetupFileStartSound(SetupFileTable[i].kind, head, want, kBuildMachine))
            return PackageOpen::kDamaged;
    }

    LARGE_INTEGER start;
    start.QuadPart = 0;
    if (!::SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) return PackageOpen::kDamaged;
    return PackageOpen::kOk;
}
