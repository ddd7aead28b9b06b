#include "setup/marker.h"

#include <windows.h>

#include "core/peimage.h"

namespace {

qdx::UniqueFile OpenForReading(const char* path) {
    return qdx::UniqueFile(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadExactly(HANDLE file, void* buffer, DWORD size) {
    DWORD got = 0;
    return ::ReadFile(file, buffer, size, &got, nullptr) && got == size;
}

bool ReadAt(HANDLE file, std::uint64_t offset, void* buffer, DWORD size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ReadExactly(file, buffer, size);
}

// The file's size and its first bytes (all of it when it is shorter).
bool ReadHead(HANDLE file, std::uint64_t& size, unsigned char (&head)[kSetupHeadSize], DWORD& headSize) {
    LARGE_INTEGER length;
    if (!::GetFileSizeEx(file, &length)) return false;
    size = static_cast<std::uint64_t>(length.QuadPart);
    headSize = static_cast<DWORD>(size < kSetupHeadSize ? size : kSetupHeadSize);
    return ReadAt(file, 0, head, headSize);
}

// Where the data behind the image ends (FindDataEnd, the signed-package end
// rule). False when the file cannot be read.
bool DataEnd(HANDLE file, std::uint64_t& end) {
    LARGE_INTEGER length;
    if (!::GetFileSizeEx(file, &length)) return false;
    return FindDataEnd(
        static_cast<std::uint64_t>(length.QuadPart),
        [file](std::uint64_t at, unsigned char* bytes, std::size_t n) {
            return ReadAt(file, at, bytes, static_cast<DWORD>(n));
        },
        end);
}

// The values of the 12 header bytes that signing rewrites, as the packaged
// program (row 0, at offset 0) carries them itself; false when they cannot be
// derived, as from a damaged package.
bool PackagedProgramFields(HANDLE file, std::uint32_t size, SignatureFields& fields) {
    unsigned char chunk[kSetupHeadSize];
    const DWORD headSize = size < kSetupHeadSize ? size : static_cast<DWORD>(kSetupHeadSize);
    if (!ReadAt(file, 0, chunk, headSize) || !ProgramSignatureLayout(chunk, headSize, size, fields)) return false;
    if (!fields.present) return true;
    if (fields.tableSize) {
        unsigned char certificate[8];
        if (!ReadAt(file, fields.tableOffset, certificate, sizeof certificate) ||
            !CertificateHeaderSound(certificate, fields.tableSize))
            return false;
    }
    std::uint32_t partial = 0;
    for (std::uint32_t at = 0; at < size;) {
        const DWORD want = size - at < kSetupHeadSize ? size - at : static_cast<DWORD>(kSetupHeadSize);
        if (!ReadAt(file, at, chunk, want)) return false;
        PutSignatureFields(fields, chunk, want, at);
        partial = PeChecksumAdd(partial, chunk, want, at, fields.checksumAt);
        at += want;
    }
    fields.checksum = PeChecksumFinish(partial, size);
    return true;
}

}  // namespace

std::uint32_t ReadRunModeMarker(const char* path) {
    qdx::UniqueFile file = OpenForReading(path);
    if (!file) return NO_MARKER;
    unsigned char bytes[kMarkerSize];
    // A file shorter than a marker has none; a partial read must not be taken
    // for one.
    std::uint64_t end = 0;
    if (!DataEnd(file.Get(), end) || end < kMarkerSize || !ReadAt(file.Get(), end - kMarkerSize, bytes, sizeof bytes))
        return NO_MARKER;
    return ReadLE32(bytes);
}

bool AppendMarker(const char* path, std::uint32_t value) {
    qdx::UniqueFile file(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    unsigned char bytes[kMarkerSize];
    WriteLE32(bytes, value);
    // A signed image: the marker takes the certificate table's place, and the
    // header no longer names a table. A marker behind the table would break
    // the signature all the same, and leave the reader looking in front of it.
    std::uint64_t size = 0;
    unsigned char head[kSetupHeadSize];
    DWORD headSize = 0;
    if (!ReadHead(file.Get(), size, head, headSize)) return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(CertificateTableStart(head, headSize, size));
    PeFields pe;
    if (static_cast<std::uint64_t>(end.QuadPart) != size && ReadPeFields(head, headSize, pe)) {
        const unsigned char none[8] = {};
        DWORD written = 0;
        LARGE_INTEGER entry;
        entry.QuadPart = pe.securityEntryAt;
        if (!::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.Get()) ||
            !::SetFilePointerEx(file.Get(), entry, nullptr, FILE_BEGIN) ||
            !::WriteFile(file.Get(), none, sizeof none, &written, nullptr) || written != sizeof none)
            return false;
    }
    if (!::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN)) return false;
    DWORD written = 0;
    if (!::WriteFile(file.Get(), bytes, sizeof bytes, &written, nullptr)) return false;
    if (written != sizeof bytes) {
        ::SetLastError(ERROR_DISK_FULL);  // a short write on a file: no room for the rest
        return false;
    }
    return true;
}

PackageOpen OpenSetupPackage(const char* path, qdx::UniqueFile& file, SetupTrailer& trailer,
                             SignatureFields& program) {
    file = OpenForReading(path);
    if (!file) return PackageOpen::kCannotOpen;
    std::uint64_t length = 0;
    if (!DataEnd(file.Get(), length)) return PackageOpen::kDamaged;
    constexpr std::size_t trailerSize = SetupTrailerSize(kSetupFileCount);
    if (length < trailerSize) return PackageOpen::kDamaged;

    unsigned char bytes[trailerSize];
    if (!ReadAt(file.Get(), length - trailerSize, bytes, static_cast<DWORD>(trailerSize)) ||
        !ParseSetupTrailer(bytes, kSetupFileCount, trailer) || !SetupSizesSound(trailer, length))
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
    if (!PackagedProgramFields(file.Get(), static_cast<std::uint32_t>(trailer.sizes[0]), program))
        return PackageOpen::kDamaged;

    LARGE_INTEGER start;
    start.QuadPart = 0;
    if (!::SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN)) return PackageOpen::kDamaged;
    return PackageOpen::kOk;
}
