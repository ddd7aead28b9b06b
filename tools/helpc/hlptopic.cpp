#include "hlptopic.h"

#include <cstring>

namespace helpc {

namespace {

// Reads compressed integers from a record; `ok` turns false past the end.
struct Cursor {
    const std::uint8_t* p;
    std::size_t size;
    std::size_t at = 0;
    bool ok = true;
    std::uint8_t U8() {
        if (at >= size) {
            ok = false;
            return 0;
        }
        return p[at++];
    }
    std::uint16_t U16() {
        std::uint16_t lo = U8();
        return static_cast<std::uint16_t>(lo | (U8() << 8));
    }
    std::uint32_t U32() {
        std::uint32_t lo = U16();
        return lo | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::int32_t CSLong() {
        if (at < size && (p[at] & 1) == 0) return static_cast<std::int32_t>(U16() / 2) - 16384;
        return static_cast<std::int32_t>(U32() / 2) - 0x40000000;
    }
    std::uint32_t CUShort() {
        if (at < size && (p[at] & 1) == 0) return U8() / 2u;
        return U16() / 2u;
    }
    std::int32_t CSShort() {
        if (at < size && (p[at] & 1) == 0) return static_cast<std::int32_t>(U8() / 2) - 64;
        return static_cast<std::int32_t>(U16() / 2) - 16384;
    }
};

// Decodes one text record into `topic`.
void ReadTextRecord(const std::uint8_t* d1, std::size_t n1, const std::uint8_t* d2, std::size_t n2,
                    const HelpFileInfo& info, ReadTopic& topic, const std::string& where,
                    std::vector<std::string>& problems) {
    Cursor c{d1, n1};
    std::int32_t topicSize = c.CSLong();
    std::uint32_t topicLength = c.CUShort();
    const std::size_t afterLengths = c.at;
    if (topicLength != n2) problems.push_back(where + ": TopicLength is not the text length");
    c.U8();
    c.U8();
    c.U16();
    std::uint16_t bits = c.U16();
    if (bits & 0xE081) problems.push_back(where + ": unexpected paragraph bits");
    if (bits & 0x0001) c.CSLong();
    for (std::uint16_t b : {0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040})
        if (bits & b) c.CSShort();
    if (bits & 0x0100) {
        c.U8();
        c.U16();
    }
    if (bits & 0x0200) {
        std::int32_t tabs = c.CSShort();
        for (std::int32_t i = 0; i < tabs && c.ok; ++i)
            if (c.CUShort() & 0x4000) c.CUShort();
    }
    // Strings of LinkData2: one before each command.
    std::size_t s = 0;
    auto nextString = [&](std::string& out) {
        const void* z = std::memchr(d2 + s, 0, n2 - s);
        if (s >= n2 || !z) return false;
        std::size_t len = static_cast<const std::uint8_t*>(z) - (d2 + s);
        out.assign(reinterpret_cast<const char*>(d2 + s), len);
        s += len + 1;
        return true;
    };
    bool inHotspot = false;
    bool ended = false;
    while (c.ok && !ended) {
        std::string text;
        if (!nextString(text)) {
            problems.push_back(where + ": fewer strings than formatting commands");
            return;
        }
        topic.text += text;
        std::uint8_t cmd = c.U8();
        switch (cmd) {
        case kCmdFont:
            if (c.U16() >= info.fontCount) problems.push_back(where + ": font number out of range");
            break;
        case kCmdLineBreak:
        case kCmdParagraphEnd:
            topic.text += '\n';
            break;
        case kCmdTab:
            topic.text += '\t';
            break;
        case kCmdHotspotEnd:
            if (!inHotspot) problems.push_back(where + ": hotspot end without a hotspot");
            inHotspot = false;
            break;
        case 0xE2:
        case kCmdJump:
        case 0xE6:
        case 0xE7:
            topic.jumps.push_back(c.U32());
            inHotspot = true;
            break;
        case kCmdEnd:
            ended = true;
            break;
        default:
            problems.push_back(where + ": unexpected formatting command " + HexText(cmd));
            return;
        }
    }
    if (!c.ok || !ended) problems.push_back(where + ": formatting commands run past LinkData1");
    if (c.at != n1) problems.push_back(where + ": bytes after the end command");
    if (topicSize != static_cast<std::int32_t>(n1 - afterLengths))
        problems.push_back(where + ": TopicSize does not match LinkData1");
    if (s != n2) problems.push_back(where + ": more strings than formatting commands");
    if (inHotspot) problems.push_back(where + ": hotspot not closed");
}

// A record of the chain as the checks after the walk need it.
struct SeenRecord {
    std::uint32_t pos, block;
    std::uint8_t type;
};

struct HeaderFields {
    std::uint32_t browseBck, browseFor, topicNum, nonScroll, scroll, nextTopic;
};

// What the walk along the record chain found.
struct TopicWalk {
    std::vector<SeenRecord> seen;
    std::vector<std::uint32_t> headerRecords;  // index into seen
    std::vector<HeaderFields> headers;
    bool endSeen = false;
};

// The data areas of all blocks, one after the other.
Bytes JoinDataAreas(const Bytes& t, std::uint32_t blocks) {
    Bytes stream;
    for (std::uint32_t b = 0; b < blocks; ++b)
        stream.insert(stream.end(), t.begin() + b * kTopicBlockSize + kTopicBlockHeader,
                      t.begin() + (b + 1) * kTopicBlockSize);
    return stream;
}

// A topic header record: its fields go to the walk; a new topic begins, or
// with the end record none. False when the walk cannot go on.
bool ReadTopicHeader(const std::uint8_t* d1, std::size_t n1, const std::uint8_t* d2, std::size_t n2,
                     std::uint32_t pos, std::uint32_t nextBlock, std::uint32_t offset, const std::string& where,
                     TopicWalk& walk, HelpFileInfo& info, ReadTopic*& topic, std::vector<std::string>& problems) {
    if (n1 != kTopicHeaderData1) {
        problems.push_back(where + ": topic header LinkData1 is not 28 bytes");
        return false;
    }
    walk.headers.push_back(
        {GetU32(d1 + 4), GetU32(d1 + 8), GetU32(d1 + 12), GetU32(d1 + 16), GetU32(d1 + 20), GetU32(d1 + 24)});
    walk.headerRecords.push_back(static_cast<std::uint32_t>(walk.seen.size() - 1));
    if (nextBlock == kNone) {
        walk.endSeen = true;  // the end record
        if (n2 != 0) problems.push_back(where + ": end record has a title");
        topic = nullptr;
        return true;
    }
    info.topics.push_back(ReadTopic());
    topic = &info.topics.back();
    topic->title.assign(reinterpret_cast<const char*>(d2), n2);
    topic->offset = offset;
    topic->pos = pos;
    return true;
}

// Follows the chain from the first record to the end record, reading topics
// and their text into info.topics.
TopicWalk WalkRecords(const Bytes& stream, std::uint32_t blocks, HelpFileInfo& info,
                      std::vector<std::string>& problems) {
    TopicWalk walk;
    std::uint32_t pos = MakeTopicPos(0, 0);
    std::uint32_t prev = kNone;
    std::uint32_t curBlock = 0, chars = 0;
    ReadTopic* topic = nullptr;
    while (pos != kNone) {
        const std::string where = "|TOPIC record at " + HexText(pos);
        if (walk.endSeen) {
            problems.push_back(where + ": record after the end record");
            break;
        }
        if (pos < kTopicBlockHeader) {
            problems.push_back(where + ": invalid TOPICPOS");
            break;
        }
        const std::uint32_t blk = (pos - kTopicBlockHeader) >> 14;
        const std::uint32_t off = (pos - kTopicBlockHeader) & 0x3FFF;
        const std::size_t at = static_cast<std::size_t>(blk) * kTopicBlockData + off;
        if (blk >= blocks || off >= kTopicBlockData || at + kTopicLinkHeader > stream.size()) {
            problems.push_back(where + ": TOPICPOS outside the topic blocks");
            break;
        }
        if (!walk.seen.empty() && pos <= walk.seen.back().pos) {
            problems.push_back(where + ": NextBlock does not move forward");
            break;
        }
        const std::uint8_t* r = stream.data() + at;
        const std::uint32_t blockSize = GetU32(r);
        const std::uint32_t dataLen2 = GetU32(r + 4);
        const std::uint32_t prevBlock = GetU32(r + 8);
        const std::uint32_t nextBlock = GetU32(r + 12);
        const std::uint32_t dataLen1 = GetU32(r + 16);
        const std::uint8_t type = r[20];
        if (prevBlock != prev) problems.push_back(where + ": PrevBlock does not chain");
        if (dataLen1 < kTopicLinkHeader || blockSize < dataLen1 || at + blockSize > stream.size()) {
            problems.push_back(where + ": bad record sizes");
            break;
        }
        if (blockSize - dataLen1 != dataLen2)
            problems.push_back(where + ": DataLen2 does not match the stored text (phrase compression?)");
        if (blk != curBlock) {
            curBlock = blk;
            chars = 0;
        }
        const std::uint32_t offset = MakeTopicOffset(blk, chars);
        const std::uint8_t* d1 = r + kTopicLinkHeader;
        const std::size_t n1 = dataLen1 - kTopicLinkHeader;
        const std::uint8_t* d2 = r + dataLen1;
        const std::size_t n2 = blockSize - dataLen1;
        walk.seen.push_back({pos, blk, type});
        if (type == kRecordTopicHeader) {
            if (!ReadTopicHeader(d1, n1, d2, n2, pos, nextBlock, offset, where, walk, info, topic, problems)) break;
        } else if (type == kRecordText) {
            if (!topic) problems.push_back(where + ": text record outside a topic");
            else ReadTextRecord(d1, n1, d2, n2, info, *topic, where, problems);
            chars += dataLen2;
        } else {
            problems.push_back(where + ": unexpected record type " + HexText(type));
        }
        prev = pos;
        pos = nextBlock;
    }
    if (!walk.endSeen) problems.push_back("|TOPIC: no end record");
    return walk;
}

// Each block header names the last record and topic header before the block
// and the first record in it.
void CheckBlockHeaders(const Bytes& t, std::uint32_t blocks, const TopicWalk& walk,
                       std::vector<std::string>& problems) {
    for (std::uint32_t b = 0; b < blocks; ++b) {
        std::uint32_t lastLink = kNone, firstLink = kNone, lastHeader = 0;
        for (const SeenRecord& s : walk.seen) {
            if (s.block < b) {
                lastLink = s.pos;
                if (s.type == kRecordTopicHeader) lastHeader = s.pos;
            } else if (s.block == b && firstLink == kNone) {
                firstLink = s.pos;
            }
        }
        const std::uint8_t* h = t.data() + b * kTopicBlockSize;
        if (GetU32(h) != lastLink || GetU32(h + 4) != firstLink || GetU32(h + 8) != lastHeader)
            problems.push_back("|TOPIC block " + std::to_string(b) + ": header does not match its records");
    }
}

// Topic numbers in sequence, each topic's first record, next topic and browse neighbours.
void CheckTopicHeaders(const TopicWalk& walk, const HelpFileInfo& info, std::vector<std::string>& problems) {
    const std::vector<SeenRecord>& seen = walk.seen;
    for (std::size_t i = 0; i < walk.headers.size(); ++i) {
        const HeaderFields& h = walk.headers[i];
        const std::string where = "|TOPIC topic " + std::to_string(i);
        const bool isEnd = i + 1 == walk.headers.size() && walk.endSeen;
        if (h.topicNum != i) problems.push_back(where + ": TopicNum out of sequence");
        if (isEnd) continue;
        const std::uint32_t rec = walk.headerRecords[i];
        const std::uint32_t firstDisplay = rec + 1 < seen.size() ? seen[rec + 1].pos : kNone;
        if (rec + 1 >= seen.size() || seen[rec + 1].type != kRecordText)
            problems.push_back(where + ": topic has no text record");
        if (h.scroll != firstDisplay) problems.push_back(where + ": Scroll is not its first record");
        const std::uint32_t next = i + 1 < walk.headers.size() ? seen[walk.headerRecords[i + 1]].pos : kNone;
        if (h.nextTopic != next) problems.push_back(where + ": NextTopic is not the next header");
        const std::size_t n = info.topics.size();
        if (i < n) {
            std::uint32_t bck = i == 0 ? kNone : info.topics[i - 1].offset;
            std::uint32_t fwd = i + 1 < n ? info.topics[i + 1].offset : kNone;
            if (h.browseBck != bck || h.browseFor != fwd)
                problems.push_back(where + ": browse sequence does not link its neighbours");
        }
    }
}

}  // namespace

void ReadTopicFile(const Bytes& t, HelpFileInfo& info, std::vector<std::string>& problems) {
    if (t.empty() || t.size() % kTopicBlockSize != 0) {
        problems.push_back("|TOPIC: not a whole number of 4096-byte blocks");
        if (t.size() < kTopicBlockSize) return;
    }
    const std::uint32_t blocks = static_cast<std::uint32_t>(t.size() / kTopicBlockSize);
    const TopicWalk walk = WalkRecords(JoinDataAreas(t, blocks), blocks, info, problems);
    CheckBlockHeaders(t, blocks, walk, problems);
    CheckTopicHeaders(walk, info, problems);
}

}  // namespace helpc
