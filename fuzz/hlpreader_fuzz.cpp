// The checking help file reader over any bytes, and the lookups a viewer
// makes in what it read: reading may report problems, never fault.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "hlpreader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace helpc;
    HelpFileInfo info;
    std::vector<std::string> problems;
    ReadHelpFile(Bytes(data, data + size), info, problems);
    std::uint32_t offset = 0;
    for (const ReadTopic& topic : info.topics) TopicForOffset(info, topic.offset);
    for (const auto& entry : info.ctxomap) LookupMapNumber(info, entry.first, offset);
    for (const char* context : {"IDH_CONTENTS", "IDH_SETTINGS", "TOPIC_0", ""}) LookupContext(info, context, offset);
    TopicForOffset(info, info.contentsOffset);
    return 0;
}
