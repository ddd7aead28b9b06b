// The checking reader's topic reader: walks the |TOPIC record chain, decodes
// every text record and checks the block and topic headers against the
// records found.
#ifndef QDX_HELPC_HLPTOPIC_H
#define QDX_HELPC_HLPTOPIC_H

#include "hlpformat.h"
#include "hlpreader.h"

#include <string>
#include <vector>

namespace helpc {

// Reads |TOPIC into info.topics; needs info.fontCount (from |FONT) to check
// the font numbers of text records.
void ReadTopicFile(const Bytes& t, HelpFileInfo& info, std::vector<std::string>& problems);

}  // namespace helpc

#endif
