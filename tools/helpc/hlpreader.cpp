#include "hlpreader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>

namespace helpc {

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// The walk recurses once per tree level, so the level count is bounded before
// it starts. Page numbers are 16 bits, so a tree has at most 65535 pages; when
// every index page but the last of its level has two children or more (a
// writer adds a level only while more than one page is left), level k from the
// root holds at least 2^(k-2) + 1 pages, and 17 levels would need 65552. The
// trees written here have one to three levels.
constexpr std::uint16_t kMaxTreeLevels = 16;

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

// A B+ tree in an internal file, as its Structure string describes it: the
// first character is the key ('z' STRINGZ, 'L' or '4' a 32-bit number), the
// others the value.
class Btree {
public:
    Btree(const Bytes& content, std::string name, std::vector<std::string>& problems)
        : c_(content), name_(std::move(name)), problems_(problems) {}

    // Checks the header and walks every page from the root; fills `entries`
    // with the leaf entries in order. Returns false on the first structural
    // problem that makes further walking pointless.
    bool Walk(const std::string& expectStructure, std::uint16_t expectFlags,
              std::vector<std::pair<Bytes, Bytes>>& entries) {
        if (c_.size() < kBtreeHeaderSize) return Fail("shorter than a B+ tree header");
        const std::uint8_t* h = c_.data();
        if (GetU16(h) != kBtreeMagic) return Fail("bad B+ tree magic");
        if (GetU16(h + 2) != expectFlags) Problem("flags " + Hex(GetU16(h + 2)));
        pageSize_ = GetU16(h + 4);
        char structure[17] = {};
        std::memcpy(structure, h + 6, 16);
        structure_ = structure;
        if (structure_ != expectStructure) return Fail("structure '" + structure_ + "'");
        if (GetU16(h + 22) != 0) Problem("MustBeZero field is not zero");
        root_ = GetU16(h + 26);
        if (GetU16(h + 28) != 0xFFFF) Problem("MustBeMinusOne field is not -1");
        totalPages_ = GetU16(h + 30);
        levels_ = GetU16(h + 32);
        const std::uint32_t totalEntries = GetU32(h + 34);
        if (pageSize_ < 16) return Fail("page size too small");
        if (c_.size() != kBtreeHeaderSize + static_cast<std::size_t>(totalPages_) * pageSize_)
            return Fail("size does not match " + std::to_string(totalPages_) + " pages");
        if (levels_ == 0 || root_ >= totalPages_) return Fail("bad root page or level count");
        if (levels_ > kMaxTreeLevels)
            return Fail(std::to_string(levels_) + " levels (at most " +
                        std::to_string(kMaxTreeLevels) + ")");
        if (GetU16(h + 24) != totalPages_ - levels_) Problem("PageSplits is not TotalPages - NLevels");

        visited_.clear();
        lastLeaf_ = 0xFFFF;
        entries_ = &entries;
        entries.clear();
        Bytes first, last;
        if (!Visit(root_, 0, first, last)) return false;
        if (lastLeaf_ != 0xFFFF && GetU16(Page(lastLeaf_) + 6) != 0xFFFF)
            Problem("last leaf has a next page");
        if (entries.size() != totalEntries)
            Problem("TotalBtreeEntries " + std::to_string(totalEntries) + " but " +
                    std::to_string(entries.size()) + " entries in the leaves");
        if (visited_.size() != totalPages_) Problem("pages not reachable from the root");
        for (std::size_t i = 1; i < entries.size(); ++i)
            if (Compare(entries[i - 1].first, entries[i].first) >= 0)
                Problem("leaf keys not in ascending order");
        return true;
    }

    // Descends from the root as a viewer does: on every index page into the
    // child of the last key not above the search key.
    bool Find(const Bytes& key, Bytes& value) const {
        std::uint16_t page = root_;
        for (std::uint16_t level = 1; level < levels_; ++level) {
            const std::uint8_t* p = Page(page);
            std::int16_t n = static_cast<std::int16_t>(GetU16(p + 2));
            std::uint16_t child = GetU16(p + 4);
            std::size_t at = 6;
            for (int i = 0; i < n; ++i) {
                Bytes k = ReadKey(p, at);
                std::uint16_t next = GetU16(p + at);
                at += 2;
                if (Compare(k, key) <= 0) child = next;
                else break;
            }
            page = child;
        }
        const std::uint8_t* p = Page(page);
        std::int16_t n = static_cast<std::int16_t>(GetU16(p + 2));
        std::size_t at = 8;
        for (int i = 0; i < n; ++i) {
            Bytes k = ReadKey(p, at);
            Bytes v = ReadValue(p, at);
            if (Compare(k, key) == 0) {
                value = v;
                return true;
            }
        }
        return false;
    }

private:
    const std::uint8_t* Page(std::uint16_t n) const {
        return c_.data() + kBtreeHeaderSize + static_cast<std::size_t>(n) * pageSize_;
    }
    bool Fail(const std::string& what) {
        Problem(what);
        return false;
    }
    void Problem(const std::string& what) { problems_.push_back(name_ + ": " + what); }

    // Total over any two keys: the first key of an empty leaf is empty, and
    // an empty key sorts before every other (so the index check reports it).
    int Compare(const Bytes& a, const Bytes& b) const {
        if (structure_[0] == 'z' || a.size() < 4 || b.size() < 4) {
            const std::size_t n = std::min(a.size(), b.size());
            int r = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
            if (r != 0) return r;
            return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
        }
        std::int32_t x = static_cast<std::int32_t>(GetU32(a.data()));
        std::int32_t y = static_cast<std::int32_t>(GetU32(b.data()));
        return x < y ? -1 : x > y ? 1 : 0;
    }

    // Field readers within one page; a field running past the page end throws
    // off the walk, so they clamp and the caller checks `at` afterwards.
    Bytes ReadField(const std::uint8_t* page, std::size_t& at, char kind) const {
        Bytes out;
        if (kind == 'z') {
            while (at < pageSize_ && page[at] != 0) out.push_back(page[at++]);
            ++at;  // the NUL
        } else {
            std::size_t n = (kind == '2') ? 2 : 4;
            for (std::size_t i = 0; i < n && at < pageSize_; ++i) out.push_back(page[at++]);
            if (out.size() < n) at = pageSize_ + 1;
        }
        return out;
    }
    Bytes ReadKey(const std::uint8_t* page, std::size_t& at) const {
        return ReadField(page, at, structure_[0]);
    }
    Bytes ReadValue(const std::uint8_t* page, std::size_t& at) const {
        Bytes out;
        for (std::size_t i = 1; i < structure_.size(); ++i) {
            Bytes f = ReadField(page, at, structure_[i]);
            out.insert(out.end(), f.begin(), f.end());
        }
        return out;
    }

    bool Visit(std::uint16_t page, std::uint16_t depth, Bytes& first, Bytes& last) {
        if (page >= totalPages_) return Fail("child page " + std::to_string(page) + " out of range");
        if (!visited_.insert(page).second) return Fail("page " + std::to_string(page) + " reached twice");
        const std::uint8_t* p = Page(page);
        const std::uint16_t unused = GetU16(p);
        const std::int16_t n = static_cast<std::int16_t>(GetU16(p + 2));
        const std::string where = "page " + std::to_string(page);
        if (depth + 1 < levels_) {  // index page
            std::size_t at = 6;
            std::vector<std::pair<Bytes, std::uint16_t>> children;
            children.push_back({Bytes(), GetU16(p + 4)});
            for (int i = 0; i < n; ++i) {
                Bytes k = ReadKey(p, at);
                if (at + 2 > pageSize_) return Fail(where + ": index entries run past the page");
                children.push_back({k, GetU16(p + at)});
                at += 2;
            }
            if (n < 0) return Fail(where + ": negative entry count");
            if (unused != pageSize_ - at) Problem(where + ": Unused field does not match its entries");
            for (std::size_t i = 0; i < children.size(); ++i) {
                Bytes f, l;
                if (!Visit(children[i].second, depth + 1, f, l)) return false;
                if (i == 0) first = f;
                else if (Compare(f, children[i].first) != 0)
                    Problem(where + ": index key is not the first key of its child");
                if (i + 1 < children.size() && !l.empty() && Compare(l, children[i + 1].first) >= 0)
                    Problem(where + ": child holds keys not below the next index key");
                last = l;
            }
            return true;
        }
        // Leaf: it must be the next one in the chain.
        if (n < 0) return Fail(where + ": negative entry count");
        if (GetU16(p + 4) != lastLeaf_) Problem(where + ": PreviousPage does not chain");
        if (lastLeaf_ != 0xFFFF && GetU16(Page(lastLeaf_) + 6) != page)
            Problem("page " + std::to_string(lastLeaf_) + ": NextPage does not chain");
        lastLeaf_ = page;
        std::size_t at = 8;
        for (int i = 0; i < n; ++i) {
            Bytes k = ReadKey(p, at);
            Bytes v = ReadValue(p, at);
            if (at > pageSize_) return Fail(where + ": entries run past the page");
            if (i == 0) first = k;
            last = k;
            entries_->push_back({k, v});
        }
        if (unused != pageSize_ - at) Problem(where + ": Unused field does not match its entries");
        for (std::size_t i = at; i < pageSize_; ++i)
            if (p[i] != 0) {
                Problem(where + ": bytes after the entries are not zero");
                break;
            }
        return true;
    }

    const Bytes& c_;
    std::string name_;
    std::vector<std::string>& problems_;
    std::uint16_t pageSize_ = 0;
    std::string structure_;
    std::uint16_t root_ = 0;
    std::uint16_t totalPages_ = 0;
    std::uint16_t levels_ = 0;
    std::set<std::uint16_t> visited_;
    std::uint16_t lastLeaf_ = 0xFFFF;
    std::vector<std::pair<Bytes, Bytes>>* entries_ = nullptr;
};

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

void ReadSystem(const Bytes& s, HelpFileInfo& info, std::vector<std::string>& problems) {
    if (s.size() < 12) {
        problems.push_back("|SYSTEM: too short");
        return;
    }
    if (GetU16(s.data()) != kSystemMagic) problems.push_back("|SYSTEM: bad magic");
    if (GetU16(s.data() + 2) != kSystemMinor31) problems.push_back("|SYSTEM: not a 3.1 file");
    if (GetU16(s.data() + 4) != 1) problems.push_back("|SYSTEM: major version is not 1");
    if (GetU16(s.data() + 10) != 0) problems.push_back("|SYSTEM: compression flags set");
    bool haveContents = false, haveTitle = false;
    std::size_t at = 12;
    while (at + 4 <= s.size()) {
        std::uint16_t type = GetU16(s.data() + at);
        std::uint16_t size = GetU16(s.data() + at + 2);
        at += 4;
        if (at + size > s.size()) {
            problems.push_back("|SYSTEM: record runs past the end");
            return;
        }
        const char* text = reinterpret_cast<const char*>(s.data() + at);
        auto stringz = [&]() {
            if (size == 0 || s[at + size - 1] != 0) {
                problems.push_back("|SYSTEM: string record without terminator");
                return std::string();
            }
            return std::string(text, size - 1);
        };
        if (type == kSysTitle) {
            info.title = stringz();
            haveTitle = true;
        } else if (type == kSysCopyright) {
            info.copyright = stringz();
        } else if (type == kSysContents) {
            if (size != 4) problems.push_back("|SYSTEM: CONTENTS record is not 4 bytes");
            else info.contentsOffset = GetU32(s.data() + at);
            haveContents = true;
        } else if (type == kSysConfig) {
            info.config.push_back(stringz());
        }
        at += size;
    }
    if (at != s.size()) problems.push_back("|SYSTEM: trailing bytes");
    if (!haveTitle) problems.push_back("|SYSTEM: no TITLE record");
    if (!haveContents) problems.push_back("|SYSTEM: no CONTENTS record");
}

void ReadFont(const Bytes& f, HelpFileInfo& info, std::vector<std::string>& problems) {
    if (f.size() < 8) {
        problems.push_back("|FONT: too short");
        return;
    }
    std::uint16_t faces = GetU16(f.data());
    std::uint16_t descriptors = GetU16(f.data() + 2);
    std::uint16_t faceOffset = GetU16(f.data() + 4);
    std::uint16_t descOffset = GetU16(f.data() + 6);
    if (faces == 0) problems.push_back("|FONT: no face names");
    if (faceOffset != 8) problems.push_back("|FONT: face names not at offset 8");
    if (faces == 0 || descOffset < faceOffset || (descOffset - faceOffset) % faces != 0) {
        problems.push_back("|FONT: bad descriptor offset");
        return;
    }
    std::size_t slot = (descOffset - faceOffset) / faces;
    if (descOffset + descriptors * 11u != f.size()) problems.push_back("|FONT: size mismatch");
    for (std::uint16_t i = 0; i < faces && faceOffset + (i + 1) * slot <= f.size(); ++i) {
        const char* name = reinterpret_cast<const char*>(f.data() + faceOffset + i * slot);
        info.faces.push_back(std::string(name, strnlen(name, slot)));
    }
    for (std::uint16_t i = 0; i < descriptors && descOffset + (i + 1) * 11u <= f.size(); ++i)
        if (GetU16(f.data() + descOffset + i * 11 + 3) >= faces)
            problems.push_back("|FONT: descriptor names a missing face");
    info.fontCount = descriptors;
}

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
            problems.push_back(where + ": unexpected formatting command " + Hex(cmd));
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

void ReadTopicFile(const Bytes& t, HelpFileInfo& info, std::vector<std::string>& problems) {
    if (t.empty() || t.size() % kTopicBlockSize != 0) {
        problems.push_back("|TOPIC: not a whole number of 4096-byte blocks");
        if (t.size() < kTopicBlockSize) return;
    }
    const std::uint32_t blocks = static_cast<std::uint32_t>(t.size() / kTopicBlockSize);
    Bytes stream;
    for (std::uint32_t b = 0; b < blocks; ++b)
        stream.insert(stream.end(), t.begin() + b * kTopicBlockSize + kTopicBlockHeader,
                      t.begin() + (b + 1) * kTopicBlockSize);

    struct Seen {
        std::uint32_t pos, block;
        std::uint8_t type;
    };
    std::vector<Seen> seen;
    std::vector<std::uint32_t> headerRecords;  // index into seen
    struct HeaderFields {
        std::uint32_t browseBck, browseFor, topicNum, nonScroll, scroll, nextTopic;
    };
    std::vector<HeaderFields> headers;

    std::uint32_t pos = MakeTopicPos(0, 0);
    std::uint32_t prev = kNone;
    std::uint32_t curBlock = 0, chars = 0;
    ReadTopic* topic = nullptr;
    bool endSeen = false;
    while (pos != kNone) {
        const std::string where = "|TOPIC record at " + Hex(pos);
        if (endSeen) {
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
        if (!seen.empty() && pos <= seen.back().pos) {
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
        seen.push_back({pos, blk, type});
        if (type == kRecordTopicHeader) {
            if (n1 != kTopicHeaderData1) {
                problems.push_back(where + ": topic header LinkData1 is not 28 bytes");
                break;
            }
            headers.push_back({GetU32(d1 + 4), GetU32(d1 + 8), GetU32(d1 + 12), GetU32(d1 + 16),
                               GetU32(d1 + 20), GetU32(d1 + 24)});
            headerRecords.push_back(static_cast<std::uint32_t>(seen.size() - 1));
            if (nextBlock == kNone) {
                endSeen = true;  // the end record
                if (n2 != 0) problems.push_back(where + ": end record has a title");
                topic = nullptr;
            } else {
                info.topics.push_back(ReadTopic());
                topic = &info.topics.back();
                topic->title.assign(reinterpret_cast<const char*>(d2), n2);
                topic->offset = offset;
                topic->pos = pos;
            }
        } else if (type == kRecordText) {
            if (!topic) problems.push_back(where + ": text record outside a topic");
            else ReadTextRecord(d1, n1, d2, n2, info, *topic, where, problems);
            chars += dataLen2;
        } else {
            problems.push_back(where + ": unexpected record type " + Hex(type));
        }
        prev = pos;
        pos = nextBlock;
    }
    if (!endSeen) problems.push_back("|TOPIC: no end record");

    // Block headers.
    for (std::uint32_t b = 0; b < blocks; ++b) {
        std::uint32_t lastLink = kNone, firstLink = kNone, lastHeader = 0;
        for (const Seen& s : seen) {
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
    // Topic header fields.
    for (std::size_t i = 0; i < headers.size(); ++i) {
        const HeaderFields& h = headers[i];
        const std::string where = "|TOPIC topic " + std::to_string(i);
        const bool isEnd = i + 1 == headers.size() && endSeen;
        if (h.topicNum != i) problems.push_back(where + ": TopicNum out of sequence");
        if (isEnd) continue;
        const std::uint32_t rec = headerRecords[i];
        const std::uint32_t firstDisplay = rec + 1 < seen.size() ? seen[rec + 1].pos : kNone;
        if (rec + 1 >= seen.size() || seen[rec + 1].type != kRecordText)
            problems.push_back(where + ": topic has no text record");
        if (h.scroll != firstDisplay) problems.push_back(where + ": Scroll is not its first record");
        const std::uint32_t next = i + 1 < headers.size() ? seen[headerRecords[i + 1]].pos : kNone;
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

bool ReadHelpFile(const Bytes& file, HelpFileInfo& info, std::vector<std::string>& problems) {
    const std::size_t before = problems.size();
    info = HelpFileInfo();
    if (file.size() < 16 + kFileHeaderSize) {
        problems.push_back("file too short");
        return false;
    }
    if (GetU32(file.data()) != kFileMagic) {
        problems.push_back("not a help file (bad magic)");
        return false;
    }
    const std::uint32_t dirStart = GetU32(file.data() + 4);
    if (GetU32(file.data() + 8) != kNone) problems.push_back("free list present");
    if (GetU32(file.data() + 12) != file.size()) problems.push_back("EntireFileSize is not the file size");

    // Internal file at `offset`: FILEHEADER then content.
    auto internal = [&](std::uint32_t offset, const std::string& name, Bytes& content) {
        if (offset < 16 || static_cast<std::uint64_t>(offset) + kFileHeaderSize > file.size()) {
            problems.push_back(name + ": offset outside the file");
            return false;
        }
        const std::uint32_t reserved = GetU32(file.data() + offset);
        const std::uint32_t used = GetU32(file.data() + offset + 4);
        if (reserved != used + kFileHeaderSize)
            problems.push_back(name + ": ReservedSpace is not UsedSpace + 9");
        if (static_cast<std::uint64_t>(offset) + reserved > file.size() ||
            static_cast<std::uint64_t>(offset) + kFileHeaderSize + used > file.size()) {
            problems.push_back(name + ": runs past the end of the file");
            return false;
        }
        content.assign(file.begin() + offset + kFileHeaderSize,
                       file.begin() + offset + kFileHeaderSize + used);
        return true;
    };

    Bytes dir;
    if (!internal(dirStart, "directory", dir)) return false;
    std::vector<std::pair<Bytes, Bytes>> dirEntries;
    Btree dirTree(dir, "directory", problems);
    if (!dirTree.Walk("z4", 0x0402, dirEntries)) return false;
    // Internal files must not overlap each other or the directory.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> extents{
        {dirStart, dirStart + static_cast<std::uint32_t>(dir.size()) + kFileHeaderSize}};
    for (const auto& e : dirEntries) {
        std::string name(e.first.begin(), e.first.end());
        std::uint32_t offset = GetU32(e.second.data());
        Bytes content;
        if (internal(offset, name, content)) {
            extents.push_back({offset, offset + static_cast<std::uint32_t>(content.size()) + kFileHeaderSize});
            info.files[name] = content;
            info.fileOffsets[name] = offset;
        }
        Bytes found;
        if (!dirTree.Find(e.first, found) || found != e.second)
            problems.push_back("directory: lookup of " + name + " from the root fails");
    }
    std::sort(extents.begin(), extents.end());
    for (std::size_t i = 1; i < extents.size(); ++i)
        if (extents[i].first < extents[i - 1].second) problems.push_back("internal files overlap");

    for (const char* required : {"|SYSTEM", "|TOPIC", "|FONT", "|CONTEXT"})
        if (!info.files.count(required)) problems.push_back(std::string("missing ") + required);
    if (problems.size() != before) return false;

    ReadSystem(info.files["|SYSTEM"], info, problems);
    ReadFont(info.files["|FONT"], info, problems);
    ReadTopicFile(info.files["|TOPIC"], info, problems);

    auto isTopicOffset = [&](std::uint32_t offset) {
        for (const ReadTopic& t : info.topics)
            if (t.offset == offset) return true;
        return false;
    };
    if (!isTopicOffset(info.contentsOffset))
        problems.push_back("|SYSTEM: CONTENTS offset " + Hex(info.contentsOffset) + " is no topic's offset");

    std::vector<std::pair<Bytes, Bytes>> entries;
    Btree contextTree(info.files["|CONTEXT"], "|CONTEXT", problems);
    if (contextTree.Walk("L4", 0x0002, entries)) {
        for (const auto& e : entries) {
            std::int32_t hash = static_cast<std::int32_t>(GetU32(e.first.data()));
            std::uint32_t offset = GetU32(e.second.data());
            info.context.push_back({hash, offset});
            if (!isTopicOffset(offset))
                problems.push_back("|CONTEXT: hash " + Hex(static_cast<std::uint32_t>(hash)) +
                                   " points at " + Hex(offset) + ", no topic's offset");
        }
    }
    for (const ReadTopic& t : info.topics)
        for (std::uint32_t jump : t.jumps) {
            bool found = false;
            for (const auto& c : info.context)
                if (static_cast<std::uint32_t>(c.first) == jump) found = true;
            if (!found)
                problems.push_back("topic '" + t.title + "': jump to hash " + Hex(jump) +
                                   " missing from |CONTEXT");
        }

    if (info.files.count("|CTXOMAP")) {
        const Bytes& m = info.files["|CTXOMAP"];
        if (m.size() < 2 || m.size() != 2 + GetU16(m.data()) * 8u) {
            problems.push_back("|CTXOMAP: size does not match its entry count");
        } else {
            for (std::size_t i = 0; i < GetU16(m.data()); ++i) {
                std::uint32_t number = GetU32(m.data() + 2 + i * 8);
                std::uint32_t offset = GetU32(m.data() + 6 + i * 8);
                if (!info.ctxomap.empty() && number <= info.ctxomap.back().first)
                    problems.push_back("|CTXOMAP: map numbers not ascending");
                info.ctxomap.push_back({number, offset});
                if (!isTopicOffset(offset))
                    problems.push_back("|CTXOMAP: " + std::to_string(number) + " points at " +
                                       Hex(offset) + ", no topic's offset");
            }
        }
    }
    if (info.files.count("|TTLBTREE")) {
        Btree titleTree(info.files["|TTLBTREE"], "|TTLBTREE", problems);
        if (titleTree.Walk("Lz", 0x0002, entries)) {
            for (const auto& e : entries)
                info.titles.push_back({GetU32(e.first.data()), std::string(e.second.begin(), e.second.end())});
            bool same = info.titles.size() == info.topics.size();
            for (std::size_t i = 0; same && i < info.titles.size(); ++i)
                same = info.titles[i].first == info.topics[i].offset &&
                       info.titles[i].second == info.topics[i].title;
            if (!same) problems.push_back("|TTLBTREE: titles do not match the topics");
        }
    }
    return problems.size() == before;
}

const ReadTopic* TopicForOffset(const HelpFileInfo& info, std::uint32_t offset) {
    const ReadTopic* best = nullptr;
    for (const ReadTopic& t : info.topics)
        if (t.offset <= offset && (!best || t.offset >= best->offset)) best = &t;
    return best;
}

bool LookupContext(const HelpFileInfo& info, const std::string& context, std::uint32_t& offset) {
    auto it = info.files.find("|CONTEXT");
    if (it == info.files.end()) return false;
    std::vector<std::string> ignored;
    Btree tree(it->second, "|CONTEXT", ignored);
    std::vector<std::pair<Bytes, Bytes>> entries;
    if (!tree.Walk("L4", 0x0002, entries)) return false;
    Bytes key, value;
    PutU32(key, ContextHash(context));
    if (!tree.Find(key, value)) return false;
    offset = GetU32(value.data());
    return true;
}

bool LookupMapNumber(const HelpFileInfo& info, std::uint32_t number, std::uint32_t& offset) {
    for (const auto& m : info.ctxomap)
        if (m.first == number) {
            offset = m.second;
            return true;
        }
    return false;
}

}  // namespace helpc
