#include "core/peimage.h"

namespace {

constexpr std::size_t kLfanewAt = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint32_t kSecurityDirectory = 4;
constexpr std::uint32_t kLoadConfigDirectory = 10;
constexpr std::uint32_t kCertificateHeaderSize = 8;
constexpr std::uint16_t kCertificateRevision2 = 0x0200;
constexpr std::uint16_t kCertificateTypePkcs7 = 0x0002;

std::uint16_t ReadLE16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint64_t RoundUp8(std::uint64_t n) {
    return (n + 7) & ~static_cast<std::uint64_t>(7);
}

struct Sections {
    std::size_t tableAt = 0;
    std::size_t count = 0;
};

bool ReadSections(const unsigned char* head, std::size_t length, Sections& out) {
    if (PeMachine(head, length) == 0) return false;
    const std::size_t fileHeader = ReadLE32(head + kLfanewAt) + 4;
    if (length - fileHeader < kFileHeaderSize) return false;
    out.count = ReadLE16(head + fileHeader + 2);
    out.tableAt = fileHeader + kFileHeaderSize + ReadLE16(head + fileHeader + 16);
    return out.tableAt <= length && (length - out.tableAt) / kSectionHeaderSize >= out.count;
}

}  // namespace

std::uint32_t ReadLE32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void WriteLE32(unsigned char* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint16_t PeMachine(const unsigned char* head, std::size_t length) {
    constexpr std::size_t kSignatureAndMachine = 6;  // "PE\0\0", then the 16-bit machine field
    if (!head || length < kLfanewAt + 4 || head[0] != 'M' || head[1] != 'Z') return 0;
    const std::uint32_t lfanew = ReadLE32(head + kLfanewAt);
    if (lfanew > length || length - lfanew < kSignatureAndMachine) return 0;
    const unsigned char* pe = head + lfanew;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return 0;
    return static_cast<std::uint16_t>(pe[4] | pe[5] << 8);
}

bool ReadPeFields(const unsigned char* head, std::size_t length, PeFields& out) {
    Sections sections;
    if (!ReadSections(head, length, sections)) return false;
    const std::size_t optional = ReadLE32(head + kLfanewAt) + 4 + kFileHeaderSize;
    if (optional + 2 > length) return false;
    const std::uint16_t magic = ReadLE16(head + optional);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) return false;
    const bool plus = magic == kMagicPe32Plus;
    const std::size_t directories = optional + (plus ? 112 : 96);
    const std::size_t directoryCountAt = optional + (plus ? 108 : 92);
    if (directories + 8 * (kLoadConfigDirectory + 1) > sections.tableAt ||
        ReadLE32(head + directoryCountAt) <= kLoadConfigDirectory)
        return false;
    out.checksumAt = static_cast<std::uint32_t>(optional + 64);
    out.securityEntryAt = static_cast<std::uint32_t>(directories + 8 * kSecurityDirectory);
    out.loadConfigEntryAt = static_cast<std::uint32_t>(directories + 8 * kLoadConfigDirectory);
    out.imageBase = plus ? (static_cast<std::uint64_t>(ReadLE32(head + optional + 28)) << 32 |
                            ReadLE32(head + optional + 24))
                         : ReadLE32(head + optional + 28);
    out.securityOffset = ReadLE32(head + out.securityEntryAt);
    out.securitySize = ReadLE32(head + out.securityEntryAt + 4);
    out.sectionsEnd = 0;
    for (std::size_t i = 0; i < sections.count; ++i) {
        const unsigned char* s = head + sections.tableAt + i * kSectionHeaderSize;
        const std::uint64_t rawSize = ReadLE32(s + 16);
        const std::uint64_t end = rawSize ? ReadLE32(s + 20) + rawSize : 0;
        if (end > out.sectionsEnd) out.sectionsEnd = end;
    }
    return true;
}

bool PeRvaToOffset(const unsigned char* head, std::size_t length, std::uint32_t rva, std::uint32_t& offset) {
    Sections sections;
    if (!ReadSections(head, length, sections)) return false;
    for (std::size_t i = 0; i < sections.count; ++i) {
        const unsigned char* s = head + sections.tableAt + i * kSectionHeaderSize;
        const std::uint32_t address = ReadLE32(s + 12);
        const std::uint32_t rawSize = ReadLE32(s + 16);
        if (rva >= address && rva - address < rawSize) {
            offset = ReadLE32(s + 20) + (rva - address);
            return true;
        }
    }
    return false;
}

std::uint64_t CertificateTableStart(const unsigned char* head, std::size_t length, std::uint64_t fileLength) {
    PeFields pe;
    if (!ReadPeFields(head, length, pe) || pe.securitySize < kCertificateHeaderSize || pe.securityOffset % 8 != 0 ||
        static_cast<std::uint64_t>(pe.securityOffset) + pe.securitySize != fileLength)
        return fileLength;
    return pe.securityOffset;
}

std::size_t CertificateAlignment(const unsigned char* before, std::size_t n) {
    std::size_t zeros = 0;
    while (zeros < n && zeros < 7 && before[n - 1 - zeros] == 0) ++zeros;
    return zeros;
}

std::uint32_t PeChecksumAdd(std::uint32_t partial, const unsigned char* bytes, std::size_t n, std::uint64_t offset,
                            std::uint32_t checksumAt) {
    for (std::size_t i = 0; i < n; i += 2) {
        const std::uint64_t at = offset + i;
        if (at >= checksumAt && at < checksumAt + 4ull) continue;
        partial += bytes[i] | (i + 1 < n ? bytes[i + 1] << 8 : 0);
        partial = (partial & 0xFFFF) + (partial >> 16);
    }
    return partial;
}

std::uint32_t PeChecksumFinish(std::uint32_t partial, std::uint64_t fileLength) {
    partial = (partial & 0xFFFF) + (partial >> 16);
    return static_cast<std::uint32_t>((partial & 0xFFFF) + fileLength);
}

bool ProgramSignatureLayout(const unsigned char* head, std::size_t length, std::uint64_t size,
                            SignatureFields& out) {
    out = SignatureFields();
    PeFields pe;
    if (!ReadPeFields(head, length, pe)) return true;  // no such fields: nothing to put back
    out.present = true;
    out.checksumAt = pe.checksumAt;
    out.securityEntryAt = pe.securityEntryAt;
    if (size == pe.sectionsEnd) return true;
    const std::uint64_t table = RoundUp8(pe.sectionsEnd);
    if (pe.sectionsEnd > size || size - table < kCertificateHeaderSize || size > 0xFFFFFFFFu) return false;
    out.tableOffset = static_cast<std::uint32_t>(table);
    out.tableSize = static_cast<std::uint32_t>(size - table);
    return true;
}

bool CertificateHeaderSound(const unsigned char* bytes, std::uint32_t tableSize) {
    const std::uint32_t length = ReadLE32(bytes);
    return length >= kCertificateHeaderSize && RoundUp8(length) == tableSize &&
           ReadLE16(bytes + 4) == kCertificateRevision2 && ReadLE16(bytes + 6) == kCertificateTypePkcs7;
}

void PutSignatureFields(const SignatureFields& fields, unsigned char* bytes, std::size_t n, std::uint64_t offset) {
    if (!fields.present) return;
    const struct {
        std::uint32_t at, value;
    } values[] = {{fields.checksumAt, fields.checksum},
                  {fields.securityEntryAt, fields.tableOffset},
                  {fields.securityEntryAt + 4, fields.tableSize}};
    for (const auto& v : values)
        for (std::uint32_t k = 0; k < 4; ++k) {
            const std::uint64_t at = static_cast<std::uint64_t>(v.at) + k;
            if (at >= offset && at - offset < n) bytes[at - offset] = static_cast<unsigned char>(v.value >> (8 * k));
        }
}

bool ProgramSignatureFields(const unsigned char* program, std::size_t size, SignatureFields& out) {
    const std::size_t head = size < kPeHeadSize ? size : kPeHeadSize;
    if (!ProgramSignatureLayout(program, head, size, out)) return false;
    if (!out.present) return true;
    if (out.tableSize && !CertificateHeaderSound(program + out.tableOffset, out.tableSize)) return false;
    unsigned char header[kPeHeadSize];
    for (std::size_t i = 0; i < head; ++i) header[i] = program[i];
    PutSignatureFields(out, header, head, 0);
    std::uint32_t partial = PeChecksumAdd(0, header, head, 0, out.checksumAt);
    partial = PeChecksumAdd(partial, program + head, size - head, head, out.checksumAt);
    out.checksum = PeChecksumFinish(partial, size);
    return true;
}

std::uint64_t DataEndBeforeSignature(const unsigned char* file, std::size_t length) {
    std::uint64_t end = length;
    FindDataEnd(
        length,
        [file](std::uint64_t at, unsigned char* bytes, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i) bytes[i] = file[at + i];
            return true;
        },
        end);
    return end;
}
