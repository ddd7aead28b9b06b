// The setup package over any bytes: its trailer, the soundness checks, the
// checksum and where its files go. Nothing may be read outside the input, and
// a package that passes as sound must really account for every byte.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "core/package.h"
#include "core/peimage.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void SoundPackage(const std::uint8_t* data, std::size_t size) {
    for (const std::uint16_t machine : {kMachineI386, kMachineAmd64}) {
        if (!SetupPackageSound(data, size, machine)) continue;
        // A signed package ends before its certificate table.
        const std::uint64_t length = DataEndBeforeSignature(data, size);
        Check(length <= size && (length == size || size - length >= 8));
        const std::size_t trailerSize = SetupTrailerSize(kSetupFileCount);
        SetupTrailer t;
        Check(ParseSetupTrailer(data + length - trailerSize, kSetupFileCount, t));
        Check(SetupPayloadSize(t) + trailerSize == length);
        for (std::size_t i = 0; i < kSetupFileCount; ++i) {
            const std::uint64_t end = SetupFileOffset(t, i) + static_cast<std::uint64_t>(t.sizes[i]);
            Check(t.sizes[i] > 0 && end <= length - trailerSize);
        }
        // The program's own header values follow from its bytes, and put back
        // they stay inside its head.
        SignatureFields f;
        Check(ProgramSignatureFields(data, static_cast<std::size_t>(t.sizes[0]), f));
        Check(!f.present || (f.checksumAt + 4 <= kSetupHeadSize && f.securityEntryAt + 8 <= kSetupHeadSize));
        Check(!f.tableSize || static_cast<std::uint64_t>(f.tableOffset) + f.tableSize == std::uint64_t(t.sizes[0]));
    }
}

// A trailer of any count read from the input's end: refused outside 1..128,
// and written back byte for byte.
void AnyTrailer(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    const std::size_t count = data[0] % (kMaxSetupFiles + 2);
    const std::size_t trailerSize = SetupTrailerSize(count);
    if (size < trailerSize) return;
    const std::uint8_t* bytes = data + size - trailerSize;
    SetupTrailer t;
    const bool parsed = ParseSetupTrailer(bytes, count, t);
    Check(parsed == (count >= 1 && count <= kMaxSetupFiles));
    if (!parsed) return;
    unsigned char back[SetupTrailerSize(kMaxSetupFiles)];
    WriteSetupTrailer(t, back);
    Check(std::memcmp(back, bytes, trailerSize) == 0);
    const bool sound = SetupSizesSound(t, size);
    Check(!sound || SetupPayloadSize(t) + trailerSize == size);
    Check(SetupFileOffset(t, count) == SetupPayloadSize(t));
}

// The input as an install folder: every target path is whole or refused.
void TargetPaths(const std::uint8_t* data, std::size_t size) {
    char folder[400];
    const std::size_t n = size < sizeof folder - 1 ? size : sizeof folder - 1;
    std::memcpy(folder, data, n);
    folder[n] = '\0';
    for (std::size_t i = 0; i < kSetupFileCount; ++i) {
        char out[qdx::kTextSize];
        if (!SetupTargetPath(folder, SetupFileTable[i], out)) continue;
        const std::size_t length = ::strnlen(out, sizeof out);
        const std::size_t name = std::strlen(SetupFileTable[i].fileName);
        Check(length < sizeof out && length >= name);
        Check(std::strcmp(out + length - name, SetupFileTable[i].fileName) == 0);
    }
    SetupNameStopsRun(folder, NO_MARKER);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SoundPackage(data, size);
    AnyTrailer(data, size);
    TargetPaths(data, size);
    Check(SubtractFromChecksum(AddToChecksum(0, data, size), data, size) == 0);
    PeMachine(data, size);
    std::uint32_t offset = 0;
    if (size >= 4) PeRvaToOffset(data, size, ReadLE32(data + size - 4), offset);
    SetupFileStartSound(SetupFileKind::kHelp, data, size, kMachineI386);
    return 0;
}
