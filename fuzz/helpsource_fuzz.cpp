// The help compiler's topic-file parser over any text. A source the parser
// and the project checks accept must compile into a file that the checking
// reader reads without a problem, with every context string leading to its
// own topic.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "helpsource.h"
#include "hlpreader.h"
#include "hlpwriter.h"

namespace {
void Check(bool ok) {
    if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace helpc;
    const std::string text(reinterpret_cast<const char*>(data), size);
    HelpProject project;
    project.title = "Fuzz";
    project.file = "fuzz.hpj";
    std::vector<Diagnostic> errors;
    if (!ParseTopicText(text, "fuzz.txt", project.topics, errors) || project.topics.empty()) return 0;
    project.contentsContext = project.topics[0].context;
    if (!CheckProject(project, errors)) return 0;

    CompiledHelp help;
    if (!CompileHelp(project, WriterOptions(), help, errors)) return 0;
    HelpFileInfo info;
    std::vector<std::string> problems;
    Check(ReadHelpFile(help.file, info, problems));
    Check(info.topics.size() == project.topics.size());
    for (std::size_t i = 0; i < project.topics.size(); ++i) {
        std::uint32_t offset = 0;
        Check(LookupContext(info, project.topics[i].context, offset) && offset == info.topics[i].offset);
    }
    return 0;
}
