// The few fields of a PE image that packaging and signing care about. Pure
// byte work, shared by the program (reading its own package) and the host
// packaging tool.
//
// Signing appends a certificate table to an image (after 0 to 7 zero bytes
// that align it to 8) and rewrites two header fields: the CheckSum and the
// security directory entry that locates the table. Data kept behind an image
// (the setup package, the run-mode marker) therefore ends where that table
// starts, once the table is there (FindDataEnd).
#pragma once

#include <cstddef>
#include <cstdint>

// Little-endian 32-bit fields, as the PE headers (and the setup package's
// trailer) hold them.
std::uint32_t ReadLE32(const unsigned char* bytes);
void WriteLE32(unsigned char* bytes, std::uint32_t value);

// PE machine types a program of this product is built for.
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;

// The most bytes of an image's start read for its headers ("head" below); a
// PE header that begins further in is refused (the linkers used put it at
// 0x80).
constexpr std::size_t kPeHeadSize = 4096;

// The machine type of the PE image whose first bytes are head; 0 when they
// are not an MZ stub whose e_lfanew points, inside head, at "PE\0\0" and a
// machine field.
std::uint16_t PeMachine(const unsigned char* head, std::size_t length);

struct PeFields {
    std::uint32_t checksumAt = 0;          // file offset of the CheckSum field
    std::uint32_t securityEntryAt = 0;     // of the security directory entry: table offset, table size
    std::uint32_t loadConfigEntryAt = 0;   // of the load-configuration directory entry
    std::uint64_t imageBase = 0;
    std::uint64_t sectionsEnd = 0;         // end of the last section's raw data
    std::uint32_t securityOffset = 0;      // the entry's values as the head holds them
    std::uint32_t securitySize = 0;
};

// Parses the headers in head (the image's first bytes); false when they are
// not a PE32 or PE32+ image whose headers and data directories up to the load
// configuration lie inside head.
bool ReadPeFields(const unsigned char* head, std::size_t length, PeFields& out);

// The file offset of the raw data at rva, through the section table in head;
// false when no section's raw data holds it.
bool PeRvaToOffset(const unsigned char* head, std::size_t length, std::uint32_t rva, std::uint32_t& offset);

// Where the certificate table starts when the head's security entry names one
// that ends exactly at fileLength (8-aligned, at least a certificate header
// long); fileLength otherwise.
std::uint64_t CertificateTableStart(const unsigned char* head, std::size_t length, std::uint64_t fileLength);

// The alignment zeros before a certificate table: the zero bytes (at most 7)
// that end `before`, the n bytes in front of the table. Data kept behind an
// image ends in a non-zero byte (both non-zero markers do), so this finds its
// end exactly.
std::size_t CertificateAlignment(const unsigned char* before, std::size_t n);

// The PE checksum (as the system's CheckSumMappedFile computes it), fed in
// pieces that start at even offsets: the partial sum of the bytes at
// `offset`, the CheckSum field itself taken as zero.
std::uint32_t PeChecksumAdd(std::uint32_t partial, const unsigned char* bytes, std::size_t n, std::uint64_t offset,
                            std::uint32_t checksumAt);
std::uint32_t PeChecksumFinish(std::uint32_t partial, std::uint64_t fileLength);

// The program's own values of the 12 header bytes signing rewrites.
struct SignatureFields {
    bool present = false;  // false: the image has no such fields; nothing is put back
    std::uint32_t checksumAt = 0, securityEntryAt = 0;
    std::uint32_t checksum = 0, tableOffset = 0, tableSize = 0;
};

// The first step towards the values a program of `size` bytes carries itself,
// from its headers alone (whatever a later signing wrote into the 12 bytes):
// no certificate table when its sections end the file; else one that starts
// at the next multiple of 8 behind the sections and ends the file, whose
// header (the 8 bytes at tableOffset, read by the caller) certificateCheck
// verifies. The checksum follows from the whole file with these values in place.
// False when the image is neither.
bool ProgramSignatureLayout(const unsigned char* head, std::size_t length, std::uint64_t size,
                            SignatureFields& out);
// Whether the 8 bytes at a certificate table's start head a table of tableSize
// bytes: a WIN_CERTIFICATE of revision 2.0, type PKCS#7, that fills the table
// (its length rounded up to 8).
bool CertificateHeaderSound(const unsigned char* bytes, std::uint32_t tableSize);

// Writes the values into the part of the file at `offset` held in bytes.
void PutSignatureFields(const SignatureFields& fields, unsigned char* bytes, std::size_t n, std::uint64_t offset);

// The program's own values, from all its bytes in memory (a packaging tool's
// view): ProgramSignatureLayout, the certificate header checked, the checksum
// computed. False when the image is neither unsigned nor signed as described.
bool ProgramSignatureFields(const unsigned char* program, std::size_t size, SignatureFields& out);

// The signed-package end rule, the one place it is kept: where the data kept
// behind an image (the setup package's trailer, the run-mode marker) ends. At
// the start of a certificate table that ends the file (CertificateTableStart)
// less the zero bytes that align it (CertificateAlignment); else at the file's
// end. read(offset, bytes, n) reads n bytes of the file at offset, false when
// it cannot: the rule reads the head (kPeHeadSize bytes, or the whole of a
// shorter file) and the 8 bytes in front of the table. False when a read
// failed.
template <typename Read>
bool FindDataEnd(std::uint64_t fileLength, Read read, std::uint64_t& end) {
    unsigned char head[kPeHeadSize];
    const std::size_t headSize = fileLength < kPeHeadSize ? static_cast<std::size_t>(fileLength) : kPeHeadSize;
    if (!read(0, head, headSize)) return false;
    end = CertificateTableStart(head, headSize, fileLength);
    if (end == fileLength) return true;
    unsigned char before[8];
    const std::size_t n = end < sizeof before ? static_cast<std::size_t>(end) : sizeof before;
    if (!read(end - n, before, n)) return false;
    end -= CertificateAlignment(before, n);
    return true;
}

// FindDataEnd over a whole file in memory.
std::uint64_t DataEndBeforeSignature(const unsigned char* file, std::size_t length);
