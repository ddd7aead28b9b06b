// An independent reader of WinHelp 3.1 files, used by the compiler to check its
// own output before writing it and by the tests. It walks every structure the
// way a help viewer does and reports anything inconsistent: B+ tree pages,
// file headers, the topic record chain, topic offsets, the context tree and map.
#ifndef QDX_HELPC_HLPREADER_H
#define QDX_HELPC_HLPREADER_H

#include "hlpformat.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace helpc {

struct ReadTopic {
    std::string title;
    std::uint32_t offset = 0;  // TOPICOFFSET recomputed from the record lengths
    std::uint32_t pos = 0;     // TOPICPOS of its header record
    std::string text;          // paragraphs separated by '\n', tabs as '\t'
    std::vector<std::uint32_t> jumps;  // context hashes of its jump hotspots
};

struct HelpFileInfo {
    std::string title;
    std::string copyright;
    std::uint32_t contentsOffset = 0;
    std::vector<std::string> config;
    std::map<std::string, Bytes> files;  // internal files by name (content only)
    std::map<std::string, std::uint32_t> fileOffsets;  // of each FILEHEADER in the file
    std::vector<ReadTopic> topics;
    std::vector<std::pair<std::int32_t, std::uint32_t>> context;  // in tree order
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ctxomap;
    std::vector<std::pair<std::uint32_t, std::string>> titles;
    std::uint16_t fontCount = 0;
    std::vector<std::string> faces;
};

// Parses and checks a whole file. Returns true when it found no problem;
// `problems` lists every inconsistency found (reading goes on where it can).
bool ReadHelpFile(const Bytes& file, HelpFileInfo& info, std::vector<std::string>& problems);

// Lookups the way a viewer makes them.
// The topic a viewer shows for a stored offset: the last topic whose offset is
// not above it; null when none.
const ReadTopic* TopicForOffset(const HelpFileInfo& info, std::uint32_t offset);
// Descends the |CONTEXT tree from its root with the string's hash.
bool LookupContext(const HelpFileInfo& info, const std::string& context, std::uint32_t& offset);
// Scans |CTXOMAP for a map number.
bool LookupMapNumber(const HelpFileInfo& info, std::uint32_t number, std::uint32_t& offset);

}  // namespace helpc

#endif
