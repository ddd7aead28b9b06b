#include "hlpreader.h"

#include "hlptopic.h"
#include "hlptree.h"

#include <algorithm>
#include <cstring>

namespace helpc {

namespace {

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

// The internal file at `offset`: FILEHEADER then content.
bool ReadInternalFile(const Bytes& file, std::uint32_t offset, const std::string& name, Bytes& content,
                      std::vector<std::string>& problems) {
    if (offset < 16 || static_cast<std::uint64_t>(offset) + kFileHeaderSize > file.size()) {
        problems.push_back(name + ": offset outside the file");
        return false;
    }
    const std::uint32_t reserved = GetU32(file.data() + offset);
    const std::uint32_t used = GetU32(file.data() + offset + 4);
    if (reserved != used + kFileHeaderSize) problems.push_back(name + ": ReservedSpace is not UsedSpace + 9");
    if (static_cast<std::uint64_t>(offset) + reserved > file.size() ||
        static_cast<std::uint64_t>(offset) + kFileHeaderSize + used > file.size()) {
        problems.push_back(name + ": runs past the end of the file");
        return false;
    }
    content.assign(file.begin() + offset + kFileHeaderSize, file.begin() + offset + kFileHeaderSize + used);
    return true;
}

// The file header, the directory tree and the internal files it names, into
// info.files. False when the file system is too broken to read further.
bool ReadFileSystem(const Bytes& file, HelpFileInfo& info, std::vector<std::string>& problems) {
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

    Bytes dir;
    if (!ReadInternalFile(file, dirStart, "directory", dir, problems)) return false;
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
        if (ReadInternalFile(file, offset, name, content, problems)) {
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
    return true;
}

bool IsTopicOffset(const HelpFileInfo& info, std::uint32_t offset) {
    for (const ReadTopic& t : info.topics)
        if (t.offset == offset) return true;
    return false;
}

// |CONTEXT: every hash leads to a topic, and every jump's hash is in it.
void ReadContextTree(HelpFileInfo& info, std::vector<std::string>& problems) {
    std::vector<std::pair<Bytes, Bytes>> entries;
    Btree contextTree(info.files["|CONTEXT"], "|CONTEXT", problems);
    if (contextTree.Walk("L4", 0x0002, entries)) {
        for (const auto& e : entries) {
            std::int32_t hash = static_cast<std::int32_t>(GetU32(e.first.data()));
            std::uint32_t offset = GetU32(e.second.data());
            info.context.push_back({hash, offset});
            if (!IsTopicOffset(info, offset))
                problems.push_back("|CONTEXT: hash " + HexText(static_cast<std::uint32_t>(hash)) + " points at " +
                                   HexText(offset) + ", no topic's offset");
        }
    }
    for (const ReadTopic& t : info.topics)
        for (std::uint32_t jump : t.jumps) {
            bool found = false;
            for (const auto& c : info.context)
                if (static_cast<std::uint32_t>(c.first) == jump) found = true;
            if (!found)
                problems.push_back("topic '" + t.title + "': jump to hash " + HexText(jump) +
                                   " missing from |CONTEXT");
        }
}

// |CTXOMAP: ascending map numbers, each leading to a topic.
void ReadContextMap(const Bytes& m, HelpFileInfo& info, std::vector<std::string>& problems) {
    if (m.size() < 2 || m.size() != 2 + GetU16(m.data()) * 8u) {
        problems.push_back("|CTXOMAP: size does not match its entry count");
        return;
    }
    for (std::size_t i = 0; i < GetU16(m.data()); ++i) {
        std::uint32_t number = GetU32(m.data() + 2 + i * 8);
        std::uint32_t offset = GetU32(m.data() + 6 + i * 8);
        if (!info.ctxomap.empty() && number <= info.ctxomap.back().first)
            problems.push_back("|CTXOMAP: map numbers not ascending");
        info.ctxomap.push_back({number, offset});
        if (!IsTopicOffset(info, offset))
            problems.push_back("|CTXOMAP: " + std::to_string(number) + " points at " + HexText(offset) +
                               ", no topic's offset");
    }
}

// |TTLBTREE: the topics' offsets and titles, in file order.
void ReadTitleTree(const Bytes& content, HelpFileInfo& info, std::vector<std::string>& problems) {
    std::vector<std::pair<Bytes, Bytes>> entries;
    Btree titleTree(content, "|TTLBTREE", problems);
    if (!titleTree.Walk("Lz", 0x0002, entries)) return;
    for (const auto& e : entries)
        info.titles.push_back({GetU32(e.first.data()), std::string(e.second.begin(), e.second.end())});
    bool same = info.titles.size() == info.topics.size();
    for (std::size_t i = 0; same && i < info.titles.size(); ++i)
        same = info.titles[i].first == info.topics[i].offset && info.titles[i].second == info.topics[i].title;
    if (!same) problems.push_back("|TTLBTREE: titles do not match the topics");
}

}  // namespace

bool ReadHelpFile(const Bytes& file, HelpFileInfo& info, std::vector<std::string>& problems) {
    const std::size_t before = problems.size();
    info = HelpFileInfo();
    if (!ReadFileSystem(file, info, problems)) return false;
    for (const char* required : {"|SYSTEM", "|TOPIC", "|FONT", "|CONTEXT"})
        if (!info.files.count(required)) problems.push_back(std::string("missing ") + required);
    if (problems.size() != before) return false;

    ReadSystem(info.files["|SYSTEM"], info, problems);
    ReadFont(info.files["|FONT"], info, problems);
    ReadTopicFile(info.files["|TOPIC"], info, problems);
    if (!IsTopicOffset(info, info.contentsOffset))
        problems.push_back("|SYSTEM: CONTENTS offset " + HexText(info.contentsOffset) + " is no topic's offset");
    ReadContextTree(info, problems);
    if (info.files.count("|CTXOMAP")) ReadContextMap(info.files["|CTXOMAP"], info, problems);
    if (info.files.count("|TTLBTREE")) ReadTitleTree(info.files["|TTLBTREE"], info, problems);
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
