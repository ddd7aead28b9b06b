#include "core/package.h"

#include <cstring>

#include "core/product.h"

bool ParseSetupTrailer(const unsigned char* bytes, std::size_t count, SetupTrailer& out) {
    if (count < 1 || count > kMaxSetupFiles) return false;
    out.count = count;
    for (std::size_t i = 0; i < count; ++i) out.sizes[i] = static_cast<std::int32_t>(ReadLE32(bytes + 4 * i));
    out.checksum = ReadLE32(bytes + 4 * count);
    out.marker = ReadLE32(bytes + 4 * count + 4);
    return true;
}

void WriteSetupTrailer(const SetupTrailer& trailer, unsigned char* out) {
    for (std::size_t i = 0; i < trailer.count; ++i)
        WriteLE32(out + 4 * i, static_cast<std::uint32_t>(trailer.sizes[i]));
    WriteLE32(out + 4 * trailer.count, trailer.checksum);
    WriteLE32(out + 4 * trailer.count + 4, trailer.marker);
}

std::uint64_t SetupPayloadSize(const SetupTrailer& trailer) {
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < trailer.count && i < kMaxSetupFiles; ++i)
        if (trailer.sizes[i] > 0) total += static_cast<std::uint64_t>(trailer.sizes[i]);
    return total;
}

std::uint64_t SetupFileOffset(const SetupTrailer& trailer, std::size_t index) {
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < index && i < trailer.count && i < kMaxSetupFiles; ++i)
        if (trailer.sizes[i] > 0) offset += static_cast<std::uint64_t>(trailer.sizes[i]);
    return offset;
}

bool SetupSizesSound(const SetupTrailer& trailer, std::uint64_t packageLength) {
    if (trailer.count < 1 || trailer.count > kMaxSetupFiles) return false;
    for (std::size_t i = 0; i < trailer.count; ++i)
        if (trailer.sizes[i] <= 0) return false;
    const std::uint64_t trailerSize = SetupTrailerSize(trailer.count);
    return packageLength >= trailerSize && SetupPayloadSize(trailer) == packageLength - trailerSize;
}

bool SetupFileStartSound(SetupFileKind kind, const unsigned char* head, std::size_t length, std::uint16_t machine) {
    switch (kind) {
    case SetupFileKind::kProgram:
        return machine != 0 && PeMachine(head, length) == machine;
    case SetupFileKind::kHelp:
        return head && length >= 4 && ReadLE32(head) == kHelpFileMagic;
    case SetupFileKind::kHtmlPage:
        return head && length >= sizeof kHtmlPageStart - 1 &&
               std::memcmp(head, kHtmlPageStart, sizeof kHtmlPageStart - 1) == 0;
    }
    return false;
}

bool SetupPackageSound(const unsigned char* package, std::size_t length, std::uint16_t machine) {
    const std::size_t trailerSize = SetupTrailerSize(kSetupFileCount);
    SetupTrailer trailer;
    // A signed package: what its certificate table follows.
    if (package) length = static_cast<std::size_t>(DataEndBeforeSignature(package, length));
    if (!package || length < trailerSize ||
        !ParseSetupTrailer(package + length - trailerSize, kSetupFileCount, trailer) ||
        !SetupSizesSound(trailer, length))
        return false;
    for (std::size_t i = 0; i < kSetupFileCount; ++i) {
        const std::size_t size = static_cast<std::size_t>(trailer.sizes[i]);
        const std::size_t head = size < kSetupHeadSize ? size : kSetupHeadSize;
        const unsigned char* start = package + SetupFileOffset(trailer, i);
        if (!SetupFileStartSound(SetupFileTable[i].kind, start, head, machine)) return false;
    }
    // The program's own header values must follow from its bytes.
    SignatureFields program;
    return ProgramSignatureFields(package, static_cast<std::size_t>(trailer.sizes[0]), program);
}

std::uint32_t AddToChecksum(std::uint32_t sum, const unsigned char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) sum += bytes[i];
    return sum;
}

std::uint32_t SubtractFromChecksum(std::uint32_t accumulator, const unsigned char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) accumulator -= bytes[i];
    return accumulator;
}

bool IsSetupFileTitle(const char* title) {
    static const char kWord[] = "SETUP";
    if (!title) return false;
    for (const char* start = title; *start; ++start) {
        std::size_t i = 0;
        while (kWord[i]) {
            char c = start[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (c != kWord[i]) break;
            ++i;
        }
        if (!kWord[i]) return true;
    }
    return false;
}

bool SetupNameStopsRun(const char* title, std::uint32_t marker) {
    return marker != SETUP_MARKER && IsSetupFileTitle(title);
}

bool SetupTargetPath(const char* installFolder, const SetupFileEntry& row, char (&out)[qdx::kTextSize]) {
    const char* key = row.folderKey;
    const bool inInstallFolder =
        !key || std::strcmp(key, kFolderProgramFiles) == 0 || std::strcmp(key, kFolderDataFiles) == 0;
    return qdx::FormatText(out, sizeof out, "%s\\%s%s%s", installFolder, inInstallFolder ? "" : key,
                           inInstallFolder ? "" : "\\", row.fileName) > 0;
}
