#include "hlpwriter.h"

#include "fileio.h"
#include "hlpreader.h"
#include "htmlwriter.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

namespace helpc {

namespace {

// Paragraph metrics, in the units of the classic |FONT layout (half-points).
constexpr std::int32_t kHeadingSpaceBelow = 6;
constexpr std::int32_t kSubheadingSpaceAbove = 20;
constexpr std::int32_t kBodySpaceAbove = 12;
constexpr std::int32_t kBulletSpaceAbove = 4;
constexpr std::int32_t kBulletIndent = 28;

// Paragraph info bits announcing optional fields.
constexpr std::uint16_t kParaSpaceAbove = 0x0002;
constexpr std::uint16_t kParaSpaceBelow = 0x0004;
constexpr std::uint16_t kParaLeftIndent = 0x0010;
constexpr std::uint16_t kParaFirstIndent = 0x0040;
constexpr std::uint16_t kParaTabs = 0x0200;

void PutAt32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// One TOPICLINK before layout.
struct Record {
    std::uint8_t type = 0;
    Bytes data1;  // LinkData1 (filled after layout for topic headers)
    Bytes data2;  // LinkData2
    std::size_t topic = 0;
    std::uint32_t pos = 0;     // TOPICPOS
    std::uint32_t offset = 0;  // TOPICOFFSET
    std::uint32_t block = 0;
    std::uint32_t Size() const {
        return kTopicLinkHeader + static_cast<std::uint32_t>(data1.size() + data2.size());
    }
};

// Collects the formatting commands of one text record and the strings between
// them: the reader prints string i, then applies command i.
class TextRecordBuilder {
public:
    void Text(const std::string& s) { pending_ += s; }
    void Command(const Bytes& cmd) {
        commands_.insert(commands_.end(), cmd.begin(), cmd.end());
        PutStringZ(strings_, pending_);
        pending_.clear();
    }
    void Font(std::uint16_t font) {
        Bytes c{kCmdFont};
        PutU16(c, font);
        Command(c);
    }
    const Bytes& Commands() const { return commands_; }
    const Bytes& Strings() const { return strings_; }

private:
    std::string pending_;
    Bytes commands_;
    Bytes strings_;
};

bool EncodeParagraph(const Paragraph& p, Record& rec, std::vector<Diagnostic>& errors,
                     const std::string& file) {
    std::uint16_t bits = 0;
    Bytes fields;
    std::uint16_t baseFont = kFontBody;
    switch (p.style) {
    case Paragraph::Style::Heading:
        bits = kParaSpaceBelow;
        PutCSShort(fields, kHeadingSpaceBelow);
        baseFont = kFontHeading;
        break;
    case Paragraph::Style::Subheading:
        bits = kParaSpaceAbove;
        PutCSShort(fields, kSubheadingSpaceAbove);
        baseFont = kFontSubheading;
        break;
    case Paragraph::Style::Body:
        bits = kParaSpaceAbove;
        PutCSShort(fields, kBodySpaceAbove);
        break;
    case Paragraph::Style::Bullet:
        // Hanging indent: the bullet sits at the margin, the text at a tab
        // stop that equals the left indent, wrapped lines line up with it.
        bits = kParaSpaceAbove | kParaLeftIndent | kParaFirstIndent | kParaTabs;
        PutCSShort(fields, kBulletSpaceAbove);
        PutCSShort(fields, kBulletIndent);
        PutCSShort(fields, -kBulletIndent);
        PutCSShort(fields, 1);
        PutCUShort(fields, static_cast<std::uint32_t>(kBulletIndent));
        break;
    }

    TextRecordBuilder b;
    b.Font(baseFont);
    if (p.style == Paragraph::Style::Bullet) {
        b.Text(p.label);
        b.Command(Bytes{kCmdTab});
    }
    for (const Span& s : p.spans) {
        switch (s.kind) {
        case Span::Kind::Plain:
            b.Text(s.text);
            break;
        case Span::Kind::Bold:
            b.Font(kFontBold);
            b.Text(s.text);
            b.Font(baseFont);
            break;
        case Span::Kind::Jump: {
            Bytes c{kCmdJump};
            PutU32(c, ContextHash(s.target));
            b.Command(c);
            b.Text(s.text);
            b.Command(Bytes{kCmdHotspotEnd});
            break;
        }
        }
    }
    b.Command(Bytes{kCmdParagraphEnd});
    b.Command(Bytes{kCmdEnd});

    Bytes tail;  // everything after TopicSize and TopicLength
    PutU8(tail, 0x00);
    PutU8(tail, 0x80);
    PutU16(tail, 0);
    PutU16(tail, bits);
    tail.insert(tail.end(), fields.begin(), fields.end());
    tail.insert(tail.end(), b.Commands().begin(), b.Commands().end());

    rec.type = kRecordText;
    rec.data2 = b.Strings();
    rec.data1.clear();
    if (!PutCSLong(rec.data1, static_cast<std::int32_t>(tail.size())) ||
        !PutCUShort(rec.data1, static_cast<std::uint32_t>(rec.data2.size())) ||
        rec.Size() + tail.size() > kMaxTopicLink) {
        errors.push_back({file, p.line,
                          "paragraph is too long for one topic record (" +
                              std::to_string(rec.data2.size()) + " characters); split it"});
        return false;
    }
    rec.data1.insert(rec.data1.end(), tail.begin(), tail.end());
    return true;
}

Bytes BuildSystem(const HelpProject& project, std::uint32_t contentsOffset,
                  const WriterOptions& options) {
    Bytes out;
    PutU16(out, kSystemMagic);
    PutU16(out, kSystemMinor31);
    PutU16(out, 1);
    PutU32(out, options.genDate);
    PutU16(out, 0);  // no LZ77, 4 KiB topic blocks
    auto record = [&](std::uint16_t type, const Bytes& data) {
        PutU16(out, type);
        PutU16(out, static_cast<std::uint16_t>(data.size()));
        out.insert(out.end(), data.begin(), data.end());
    };
    Bytes title;
    PutStringZ(title, project.title);
    record(kSysTitle, title);
    if (!project.copyright.empty()) {
        Bytes copyright;
        PutStringZ(copyright, project.copyright);
        record(kSysCopyright, copyright);
    }
    Bytes contents;
    PutU32(contents, contentsOffset);
    record(kSysContents, contents);
    // The browse buttons step through the topics in file order.
    Bytes config;
    PutStringZ(config, "BrowseButtons()");
    record(kSysConfig, config);
    return out;
}

Bytes BuildFont() {
    struct Descriptor {
        std::uint8_t attributes;  // 1 bold
        std::uint8_t halfPoints;
        std::uint8_t r, g, b;
    };
    // Indexed by FontId.
    const Descriptor fonts[] = {
        {0, 20, 0, 0, 0},       // body: Arial 10 pt
        {1, 28, 0, 0, 128},     // topic heading: bold 14 pt, dark blue
        {1, 22, 0, 0, 128},     // subheading: bold 11 pt, dark blue
        {1, 20, 0, 0, 0},       // bold words in body text
    };
    constexpr std::uint16_t kFaceSlot = 32;
    const char* faces[] = {"Arial"};
    const std::uint16_t numFaces = 1;
    Bytes out;
    PutU16(out, numFaces);
    PutU16(out, static_cast<std::uint16_t>(sizeof(fonts) / sizeof(fonts[0])));
    PutU16(out, 8);
    PutU16(out, static_cast<std::uint16_t>(8 + numFaces * kFaceSlot));
    for (const char* face : faces) {
        Bytes slot(kFaceSlot, 0);
        std::memcpy(slot.data(), face, std::strlen(face));
        out.insert(out.end(), slot.begin(), slot.end());
    }
    for (const Descriptor& d : fonts) {
        PutU8(out, d.attributes);
        PutU8(out, d.halfPoints);
        PutU8(out, 3);  // swiss
        PutU16(out, 0);  // face 0
        PutU8(out, d.r);
        PutU8(out, d.g);
        PutU8(out, d.b);
        PutU8(out, 0);
        PutU8(out, 0);
        PutU8(out, 0);
    }
    return out;
}

// A page of a tree level as its parent indexes it.
struct TreeChild {
    std::uint16_t page;
    Bytes firstKey;
};

void PutAt16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// The leaf pages, chained left to right, appended to `pages`; `leaves` gets
// one child per leaf. Fails when an entry cannot fit a page.
bool BuildLeafPages(const std::vector<BtreeEntry>& sorted, std::uint16_t pageSize, std::vector<Bytes>& pages,
                    std::vector<TreeChild>& leaves) {
    Bytes page;
    std::uint16_t count = 0;
    std::uint32_t used = 8;
    auto closeLeaf = [&]() {
        PutAt16(page, 0, static_cast<std::uint16_t>(pageSize - used));
        PutAt16(page, 2, count);
        page.resize(pageSize, 0);
        pages.push_back(page);
    };
    auto openLeaf = [&](const Bytes* firstKey) {
        page.assign(8, 0);
        count = 0;
        used = 8;
        leaves.push_back({static_cast<std::uint16_t>(pages.size()), firstKey ? *firstKey : Bytes()});
    };
    openLeaf(sorted.empty() ? nullptr : &sorted[0].key);
    for (const BtreeEntry& e : sorted) {
        std::uint32_t size = static_cast<std::uint32_t>(e.key.size() + e.value.size());
        if (8 + size > pageSize) return false;
        if (used + size > pageSize) {
            closeLeaf();
            openLeaf(&e.key);
        }
        page.insert(page.end(), e.key.begin(), e.key.end());
        page.insert(page.end(), e.value.begin(), e.value.end());
        used += size;
        ++count;
    }
    closeLeaf();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        PutAt16(pages[i], 4, i == 0 ? 0xFFFF : static_cast<std::uint16_t>(i - 1));
        PutAt16(pages[i], 6, i + 1 == pages.size() ? 0xFFFF : static_cast<std::uint16_t>(i + 1));
    }
    return true;
}

// One index level over `level`, appended to `pages`; `level` becomes the new
// level's pages. Fails when a key cannot fit a page.
bool BuildIndexLevel(std::uint16_t pageSize, std::vector<Bytes>& pages, std::vector<TreeChild>& level) {
    std::vector<TreeChild> upper;
    std::size_t i = 0;
    while (i < level.size()) {
        Bytes index(6, 0);
        std::uint16_t entries = 0;
        std::uint32_t usedIndex = 6;
        PutAt16(index, 4, level[i].page);
        Bytes first = level[i].firstKey;
        ++i;
        while (i < level.size()) {
            std::uint32_t size = static_cast<std::uint32_t>(level[i].firstKey.size() + 2);
            if (usedIndex + size > pageSize) break;
            index.insert(index.end(), level[i].firstKey.begin(), level[i].firstKey.end());
            PutU16(index, level[i].page);
            usedIndex += size;
            ++entries;
            ++i;
        }
        if (entries == 0 && i < level.size()) return false;  // key larger than a page
        PutAt16(index, 0, static_cast<std::uint16_t>(pageSize - usedIndex));
        PutAt16(index, 2, entries);
        index.resize(pageSize, 0);
        upper.push_back({static_cast<std::uint16_t>(pages.size()), first});
        pages.push_back(index);
    }
    level = upper;
    return true;
}

}  // namespace

bool BuildBtree(const std::vector<BtreeEntry>& sorted, std::uint16_t flags,
                std::uint16_t pageSize, const std::string& structure, Bytes& out) {
    std::vector<Bytes> pages;
    std::vector<TreeChild> level;
    if (!BuildLeafPages(sorted, pageSize, pages, level)) return false;
    // Index levels until one page is left: the root.
    std::uint16_t levels = 1;
    for (; level.size() > 1; ++levels)
        if (!BuildIndexLevel(pageSize, pages, level)) return false;

    out.clear();
    PutU16(out, kBtreeMagic);
    PutU16(out, flags);
    PutU16(out, pageSize);
    Bytes name(16, 0);
    std::memcpy(name.data(), structure.data(), std::min<std::size_t>(structure.size(), 15));
    out.insert(out.end(), name.begin(), name.end());
    PutU16(out, 0);
    PutU16(out, static_cast<std::uint16_t>(pages.size() - levels));
    PutU16(out, level[0].page);
    PutU16(out, 0xFFFF);
    PutU16(out, static_cast<std::uint16_t>(pages.size()));
    PutU16(out, levels);
    PutU32(out, static_cast<std::uint32_t>(sorted.size()));
    for (const Bytes& p : pages) out.insert(out.end(), p.begin(), p.end());
    return true;
}

namespace {

// The |TOPIC record stream: every topic's header record, heading and
// paragraphs, then the end record.
struct TopicRecords {
    std::vector<Record> records;
    std::vector<std::size_t> headerIndex;  // of each topic's header record
    std::uint32_t blockCount = 0;          // after LayOut
};

// Step 1. Records: per topic a header, its title as a heading, its paragraphs.
bool MakeRecords(const HelpProject& project, TopicRecords& out, std::vector<Diagnostic>& errors) {
    const std::size_t errorsBefore = errors.size();
    std::vector<Record>& records = out.records;
    for (std::size_t t = 0; t < project.topics.size(); ++t) {
        const Topic& topic = project.topics[t];
        out.headerIndex.push_back(records.size());
        Record header;
        header.type = kRecordTopicHeader;
        header.data1.assign(kTopicHeaderData1, 0);
        PutBytes(header.data2, topic.title);
        header.topic = t;
        records.push_back(header);

        Paragraph heading;
        heading.style = Paragraph::Style::Heading;
        heading.line = topic.line;
        Span title;
        title.text = topic.title;
        heading.spans.push_back(title);
        std::vector<const Paragraph*> paragraphs{&heading};
        for (const Paragraph& p : topic.paragraphs) paragraphs.push_back(&p);
        for (const Paragraph* p : paragraphs) {
            Record rec;
            rec.topic = t;
            if (EncodeParagraph(*p, rec, errors, topic.file)) records.push_back(rec);
        }
        if (header.Size() > kMaxTopicLink)
            errors.push_back({topic.file, topic.line, "topic title is too long"});
    }
    if (errors.size() != errorsBefore) return false;
    Record end;
    end.type = kRecordTopicHeader;
    end.data1.assign(kTopicHeaderData1, 0);
    end.topic = project.topics.size();
    records.push_back(end);
    return true;
}

// Step 2. Layout: TOPICPOS and TOPICOFFSET of every record. A record may run on
// into the next block; its characters still count in the block it starts in.
void LayOut(TopicRecords& topics) {
    std::uint32_t blk = 0, pos = 0, chars = 0;
    for (Record& r : topics.records) {
        if (kTopicBlockData - pos < kTopicLinkHeader) {
            ++blk;
            pos = 0;
            chars = 0;
        }
        r.block = blk;
        r.pos = MakeTopicPos(blk, pos);
        r.offset = MakeTopicOffset(blk, chars);
        if (r.type == kRecordText) chars += static_cast<std::uint32_t>(r.data2.size());
        std::uint32_t endAt = blk * kTopicBlockData + pos + r.Size();
        std::uint32_t newBlk = endAt / kTopicBlockData;
        pos = endAt % kTopicBlockData;
        if (newBlk != blk) {
            blk = newBlk;
            chars = 0;
        }
    }
    const std::uint32_t streamSize = blk * kTopicBlockData + pos;
    topics.blockCount = (streamSize + kTopicBlockData - 1) / kTopicBlockData;
}

// Step 3. Topic headers: sizes, browse neighbours and the records they point at.
void FillTopicHeaders(TopicRecords& topics) {
    std::vector<Record>& records = topics.records;
    const std::vector<std::size_t>& headerIndex = topics.headerIndex;
    const std::size_t n = headerIndex.size();
    for (std::size_t t = 0; t <= n; ++t) {
        const std::size_t h = t < n ? headerIndex[t] : records.size() - 1;
        Bytes& d = records[h].data1;
        if (t == n) {
            PutAt32(d, 0, 0);
            PutAt32(d, 4, kNone);
            PutAt32(d, 8, kNone);
            PutAt32(d, 12, static_cast<std::uint32_t>(n));
            PutAt32(d, 16, kNone);
            PutAt32(d, 20, kNone);
            PutAt32(d, 24, kNone);
            continue;
        }
        const std::size_t nextHeader = t + 1 < n ? headerIndex[t + 1] : records.size() - 1;
        std::uint32_t total = 0;
        for (std::size_t k = h; k < nextHeader; ++k) total += records[k].Size();
        PutAt32(d, 0, total);
        PutAt32(d, 4, t == 0 ? kNone : records[headerIndex[t - 1]].offset);
        PutAt32(d, 8, t + 1 < n ? records[headerIndex[t + 1]].offset : kNone);
        PutAt32(d, 12, static_cast<std::uint32_t>(t));
        PutAt32(d, 16, kNone);
        PutAt32(d, 20, records[h + 1].pos);
        PutAt32(d, 24, records[nextHeader].pos);
    }
}

// Step 4. The record stream in 4084-byte data areas, each behind its block header.
Bytes BuildTopicFile(const TopicRecords& topics) {
    const std::vector<Record>& records = topics.records;
    Bytes stream(static_cast<std::size_t>(topics.blockCount) * kTopicBlockData, 0);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        Bytes link;
        PutU32(link, r.Size());
        PutU32(link, static_cast<std::uint32_t>(r.data2.size()));
        PutU32(link, i == 0 ? kNone : records[i - 1].pos);
        PutU32(link, i + 1 == records.size() ? kNone : records[i + 1].pos);
        PutU32(link, kTopicLinkHeader + static_cast<std::uint32_t>(r.data1.size()));
        PutU8(link, r.type);
        link.insert(link.end(), r.data1.begin(), r.data1.end());
        link.insert(link.end(), r.data2.begin(), r.data2.end());
        std::size_t at = static_cast<std::size_t>(r.block) * kTopicBlockData +
                         ((r.pos - kTopicBlockHeader) & 0x3FFF);
        std::copy(link.begin(), link.end(), stream.begin() + static_cast<std::ptrdiff_t>(at));
    }
    Bytes topicFile;
    for (std::uint32_t b = 0; b < topics.blockCount; ++b) {
        std::uint32_t lastLink = kNone, firstLink = kNone, lastHeader = 0;
        for (const Record& r : records) {
            if (r.block < b) {
                lastLink = r.pos;
                if (r.type == kRecordTopicHeader) lastHeader = r.pos;
            } else if (r.block == b && firstLink == kNone) {
                firstLink = r.pos;
            }
        }
        PutU32(topicFile, lastLink);
        PutU32(topicFile, firstLink);
        PutU32(topicFile, lastHeader);
        topicFile.insert(topicFile.end(), stream.begin() + static_cast<std::ptrdiff_t>(b * kTopicBlockData),
                         stream.begin() + static_cast<std::ptrdiff_t>((b + 1) * kTopicBlockData));
    }
    return topicFile;
}

// The offset of the topic a context string names, by hash, as the readers
// look context strings up; 0 when none.
std::uint32_t TopicOffsetOf(const std::vector<TopicPlacement>& placed, const std::string& context) {
    std::uint32_t h = ContextHash(context);
    for (const TopicPlacement& p : placed)
        if (ContextHash(p.context) == h) return p.topicOffset;
    return 0;
}

// Step 5. The lookup files: |CONTEXT (hash to offset), |CTXOMAP (map number
// to offset) and |TTLBTREE (offset to title).
bool BuildLookupFiles(const HelpProject& project, const WriterOptions& options,
                      const std::vector<TopicPlacement>& placed, std::map<std::string, Bytes>& files,
                      std::vector<Diagnostic>& errors) {
    std::vector<BtreeEntry> context;
    for (const TopicPlacement& p : placed) {
        BtreeEntry e;
        PutU32(e.key, ContextHash(p.context));
        PutU32(e.value, p.topicOffset);
        context.push_back(e);
    }
    std::sort(context.begin(), context.end(), [](const BtreeEntry& a, const BtreeEntry& b) {
        return static_cast<std::int32_t>(GetU32(a.key.data())) <
               static_cast<std::int32_t>(GetU32(b.key.data()));
    });
    if (!BuildBtree(context, 0x0002, options.treePageSize, "L4", files["|CONTEXT"])) {
        errors.push_back({project.file, 0, "context tree page size too small"});
        return false;
    }

    std::vector<MapEntry> map = project.map;
    std::sort(map.begin(), map.end(),
              [](const MapEntry& a, const MapEntry& b) { return a.number < b.number; });
    Bytes ctxomap;
    PutU16(ctxomap, static_cast<std::uint16_t>(map.size()));
    for (const MapEntry& m : map) {
        PutU32(ctxomap, m.number);
        PutU32(ctxomap, TopicOffsetOf(placed, m.context));
    }
    files["|CTXOMAP"] = ctxomap;

    std::vector<BtreeEntry> titles;
    for (const TopicPlacement& p : placed) {  // file order = ascending offsets
        BtreeEntry e;
        PutU32(e.key, p.topicOffset);
        PutStringZ(e.value, p.title);
        titles.push_back(e);
    }
    if (!BuildBtree(titles, 0x0002, options.treePageSize, "Lz", files["|TTLBTREE"])) {
        errors.push_back({project.file, 0, "a topic title does not fit a title tree page"});
        return false;
    }
    return true;
}

}  // namespace

bool CompileHelp(const HelpProject& project, const WriterOptions& options, CompiledHelp& out,
                 std::vector<Diagnostic>& errors) {
    out = CompiledHelp();
    if (!CheckProject(project, errors)) return false;
    TopicRecords topics;
    if (!MakeRecords(project, topics, errors)) return false;
    LayOut(topics);
    FillTopicHeaders(topics);

    for (std::size_t t = 0; t < project.topics.size(); ++t) {
        const Record& r = topics.records[topics.headerIndex[t]];
        out.topics.push_back({project.topics[t].context, project.topics[t].title, r.offset, r.pos});
    }
    const std::uint32_t contentsOffset = project.contentsContext.empty()
                                             ? out.topics[0].topicOffset
                                             : TopicOffsetOf(out.topics, project.contentsContext);
    std::map<std::string, Bytes> files;
    files["|SYSTEM"] = BuildSystem(project, contentsOffset, options);
    files["|TOPIC"] = BuildTopicFile(topics);
    files["|FONT"] = BuildFont();
    if (!BuildLookupFiles(project, options, out.topics, files, errors)) return false;

    // Step 6. File system.
    if (!BuildFileSystem(files, options.directoryPageSize, out.file)) {
        errors.push_back({project.file, 0, "directory page size too small"});
        return false;
    }
    return true;
}

bool BuildFileSystem(const std::map<std::string, Bytes>& files, std::uint16_t directoryPageSize,
                     Bytes& f) {
    f.assign(16, 0);
    std::vector<BtreeEntry> directory;
    for (const auto& file : files) {  // std::map: byte-wise name order
        BtreeEntry e;
        PutStringZ(e.key, file.first);
        PutU32(e.value, static_cast<std::uint32_t>(f.size()));
        directory.push_back(e);
        PutU32(f, static_cast<std::uint32_t>(file.second.size()) + kFileHeaderSize);
        PutU32(f, static_cast<std::uint32_t>(file.second.size()));
        PutU8(f, 4);
        f.insert(f.end(), file.second.begin(), file.second.end());
    }
    Bytes dirTree;
    if (!BuildBtree(directory, 0x0402, directoryPageSize, "z4", dirTree)) return false;
    const std::uint32_t dirStart = static_cast<std::uint32_t>(f.size());
    PutU32(f, static_cast<std::uint32_t>(dirTree.size()) + kFileHeaderSize);
    PutU32(f, static_cast<std::uint32_t>(dirTree.size()));
    PutU8(f, 4);
    f.insert(f.end(), dirTree.begin(), dirTree.end());
    PutAt32(f, 0, kFileMagic);
    PutAt32(f, 4, dirStart);
    PutAt32(f, 8, kNone);
    PutAt32(f, 12, static_cast<std::uint32_t>(f.size()));
    return true;
}

namespace {

// Reads the compiled bytes back and checks that they say what the project says.
bool SelfCheck(const HelpProject& project, const CompiledHelp& compiled,
               std::vector<Diagnostic>& errors) {
    std::size_t before = errors.size();
    HelpFileInfo info;
    std::vector<std::string> problems;
    ReadHelpFile(compiled.file, info, problems);
    for (const std::string& p : problems)
        errors.push_back({project.file, 0, "internal error, output fails its check: " + p});
    if (!problems.empty()) return false;
    if (info.title != project.title)
        errors.push_back({project.file, 0, "internal error: title reads back differently"});
    for (const Topic& t : project.topics) {
        std::uint32_t offset = 0;
        const ReadTopic* shown = LookupContext(info, t.context, offset) ? TopicForOffset(info, offset)
                                                                        : nullptr;
        if (!shown || shown->title != t.title)
            errors.push_back({t.file, t.line,
                              "internal error: context '" + t.context + "' does not open its topic"});
    }
    for (const MapEntry& m : project.map) {
        std::uint32_t offset = 0;
        const ReadTopic* shown = LookupMapNumber(info, m.number, offset) ? TopicForOffset(info, offset)
                                                                         : nullptr;
        std::uint32_t expected = 0;
        if (!shown || !LookupContext(info, m.context, expected) || shown->offset != expected)
            errors.push_back({m.file, m.line, "internal error: map number " + std::to_string(m.number) +
                                                  " does not open its topic"});
    }
    return errors.size() == before;
}

// Pages of topics that are gone: "<base>-*.html" files the run did not write, so
// that the folder holds exactly the pages of the current source.
void RemoveStalePages(const std::string& dir, const std::string& base,
                      const std::vector<HtmlPage>& pages) {
    std::error_code error;
    const std::string prefix = base + "-";
    std::vector<std::string> stale;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + 5 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 5, 5, ".html") != 0)
            continue;
        bool current = false;
        for (const HtmlPage& p : pages) current = current || p.name == name;
        if (!current) stale.push_back(it->path().string());
    }
    for (const std::string& path : stale) RemoveFileIfPresent(path);
}

}  // namespace

bool BuildHelpFile(const std::string& projectPath, const std::string& outputPath,
                   std::vector<Diagnostic>& errors, const std::string& htmlDir) {
    HelpProject project;
    CompiledHelp compiled;
    std::vector<HtmlPage> pages;
    bool ok = LoadProject(projectPath, project, errors) &&
              CompileHelp(project, WriterOptions(), compiled, errors) &&
              SelfCheck(project, compiled, errors) &&
              (htmlDir.empty() || CompileHtml(project, PageBaseOf(outputPath), pages, errors));
    std::vector<OutputFile> outputs;
    if (ok && !htmlDir.empty()) {
        std::error_code error, ignored;
        std::filesystem::create_directories(htmlDir, error);
        if (!std::filesystem::is_directory(htmlDir, ignored)) {
            errors.push_back({htmlDir, 0, "cannot make the folder for the HTML pages" +
                                              (error ? ": " + error.message() : std::string())});
            ok = false;
        }
        for (const HtmlPage& page : pages) outputs.push_back({htmlDir + "/" + page.name, page.html});
    }
    // The help file last: when it is in place, so are the pages.
    outputs.push_back({outputPath, std::string(compiled.file.begin(), compiled.file.end())});
    std::string failedPath, why;
    if (ok && !WriteFilesInPlace(outputs, failedPath, why)) {
        errors.push_back({failedPath, 0, why});
        ok = false;
    }
    if (!ok) {
        RemoveFileIfPresent(outputPath);  // a folder named as the output is left alone
        return false;
    }
    if (!htmlDir.empty()) RemoveStalePages(htmlDir, PageBaseOf(outputPath), pages);
    return true;
}

}  // namespace helpc
