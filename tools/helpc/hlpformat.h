// Constants and small encoders of the WinHelp 3.1 file format shared by the
// writer and the checking reader.
#ifndef QDX_HELPC_HLPFORMAT_H
#define QDX_HELPC_HLPFORMAT_H

#include <cstdint>
#include <string>
#include <vector>

namespace helpc {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kFileMagic = 0x00035F3F;
constexpr std::uint16_t kBtreeMagic = 0x293B;
constexpr std::uint16_t kSystemMagic = 0x036C;
constexpr std::uint16_t kSystemMinor31 = 21;
constexpr std::uint32_t kFileHeaderSize = 9;
constexpr std::uint32_t kBtreeHeaderSize = 38;
constexpr std::uint16_t kDirectoryPageSize = 0x0400;
constexpr std::uint16_t kTreePageSize = 0x0800;
// "No record" in topic links, block and topic headers.
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Uncompressed topic blocks: 4096 bytes, a 12-byte header and 4084 data bytes.
constexpr std::uint32_t kTopicBlockSize = 4096;
constexpr std::uint32_t kTopicBlockHeader = 12;
constexpr std::uint32_t kTopicBlockData = kTopicBlockSize - kTopicBlockHeader;
constexpr std::uint32_t kTopicLinkHeader = 21;
// A record must fit into one block's data area less one header, so that it
// never spans more than one block boundary.
constexpr std::uint32_t kMaxTopicLink = kTopicBlockData - kTopicLinkHeader;
constexpr std::uint32_t kTopicHeaderData1 = 28;

constexpr std::uint8_t kRecordTopicHeader = 0x02;
constexpr std::uint8_t kRecordText = 0x20;

// Formatting commands inside a text record.
constexpr std::uint8_t kCmdFont = 0x80;
constexpr std::uint8_t kCmdLineBreak = 0x81;
constexpr std::uint8_t kCmdParagraphEnd = 0x82;
constexpr std::uint8_t kCmdTab = 0x83;
constexpr std::uint8_t kCmdHotspotEnd = 0x89;
constexpr std::uint8_t kCmdJump = 0xE3;
constexpr std::uint8_t kCmdEnd = 0xFF;

// |SYSTEM record types.
constexpr std::uint16_t kSysTitle = 1;
constexpr std::uint16_t kSysCopyright = 2;
constexpr std::uint16_t kSysContents = 3;
constexpr std::uint16_t kSysConfig = 4;

// TOPICPOS of a record at `offset` in the data area of `block`; the block
// number is shifted by 14 bits even for 4 KiB blocks.
inline std::uint32_t MakeTopicPos(std::uint32_t block, std::uint32_t offset) {
    return block * 0x4000u + kTopicBlockHeader + offset;
}
// TOPICOFFSET: block of the record and the character count before it in that block.
inline std::uint32_t MakeTopicOffset(std::uint32_t block, std::uint32_t chars) {
    return block * 0x8000u + chars;
}

// Context-string hash: h = h * 43 + value(c), 'A'/'a' = 17, '1'..'9' = 1..9,
// '0' = 10, '.' = 12, '_' = 13; the empty string hashes to 1.
std::uint32_t ContextHash(const std::string& context);

void PutU8(Bytes& out, std::uint8_t v);
void PutU16(Bytes& out, std::uint16_t v);
void PutU32(Bytes& out, std::uint32_t v);
void PutBytes(Bytes& out, const std::string& s);
void PutStringZ(Bytes& out, const std::string& s);
std::uint16_t GetU16(const std::uint8_t* p);
std::uint32_t GetU32(const std::uint8_t* p);
// "0x1F": numbers in the reader's problem texts.
std::string HexText(std::uint32_t v);

// Compressed integers of text records. Return false when the value does not fit.
bool PutCUShort(Bytes& out, std::uint32_t v);
bool PutCSShort(Bytes& out, std::int32_t v);
bool PutCSLong(Bytes& out, std::int32_t v);  // two-byte form only

}  // namespace helpc

#endif
