// Turns a checked help project into the bytes of a WinHelp 3.1 file: the
// internal file system with its B+ tree directory, |SYSTEM, |TOPIC (plain,
// uncompressed 4 KiB blocks), |FONT, |CONTEXT, |CTXOMAP and |TTLBTREE.
#ifndef QDX_HELPC_HLPWRITER_H
#define QDX_HELPC_HLPWRITER_H

#include "helpsource.h"
#include "hlpformat.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace helpc {

struct BtreeEntry {
    Bytes key;    // also the key of index pages
    Bytes value;  // follows the key in a leaf entry
};

// Builds the content of a B+ tree internal file (38-byte header and pages)
// from entries already sorted in the tree's order. Fails only when one entry
// cannot fit a page.
bool BuildBtree(const std::vector<BtreeEntry>& sorted, std::uint16_t flags,
                std::uint16_t pageSize, const std::string& structure, Bytes& out);

// Lays internal files (name -> content) out as a whole help file: the header,
// the files in byte-wise name order, the directory tree last.
bool BuildFileSystem(const std::map<std::string, Bytes>& files, std::uint16_t directoryPageSize,
                     Bytes& out);

struct WriterOptions {
    // Page sizes of the directory and of the other trees; tests shrink them
    // to force trees of several levels.
    std::uint16_t directoryPageSize = kDirectoryPageSize;
    std::uint16_t treePageSize = kTreePageSize;
    std::uint32_t genDate = 0;  // |SYSTEM creation time; 0 keeps builds reproducible
};

// Where each topic landed, for the caller's checks and messages.
struct TopicPlacement {
    std::string context;
    std::string title;
    std::uint32_t topicOffset = 0;  // what |CONTEXT, |CTXOMAP and |SYSTEM store
    std::uint32_t topicPos = 0;     // address of its topic header record
};

struct CompiledHelp {
    Bytes file;
    std::vector<TopicPlacement> topics;
};

// Fonts the topics use (|FONT descriptor numbers).
enum FontId : std::uint16_t { kFontBody = 0, kFontHeading = 1, kFontSubheading = 2, kFontBold = 3 };

bool CompileHelp(const HelpProject& project, const WriterOptions& options, CompiledHelp& out,
                 std::vector<Diagnostic>& errors);

// The whole compiler run: load the project, compile, read the result back
// with the checking reader (every context string and map number must lead to
// its own topic), then write it under a temporary name and rename it into
// place. On any error the output file does not exist afterwards: neither a
// half-written file nor a stale one from an earlier run.
// With `htmlDir`, the same help is also written there as HTML pages (see
// htmlwriter.h), through temporary names as well and only when there is no
// error; pages of topics that no longer exist are removed from the folder.
bool BuildHelpFile(const std::string& projectPath, const std::string& outputPath,
                   std::vector<Diagnostic>& errors, const std::string& htmlDir = std::string());

}  // namespace helpc

#endif
