// qdxhelpc: compiles the readable help source into a WinHelp 3.1 file, and
// optionally into HTML pages of the same help.
//
//   qdxhelpc PROJECT -o OUTPUT.hlp [--html DIR]   compile (and check) the project
//   qdxhelpc --check FILE.hlp                     check an existing file and list its topics
#include "fileio.h"
#include "helpsource.h"
#include "hlpreader.h"
#include "hlpwriter.h"

#include <cstdio>
#include <cstring>

namespace {

int Usage() {
    std::fprintf(stderr, "usage: qdxhelpc PROJECT -o OUTPUT.hlp [--html DIR]\n"
                         "       qdxhelpc --check FILE.hlp\n");
    return 2;
}

int Check(const char* path) {
    std::string text, why;
    if (!helpc::ReadWholeFile(path, text, why)) {
        std::fprintf(stderr, "%s: error: cannot read the file: %s\n", path, why.c_str());
        return 1;
    }
    helpc::Bytes bytes(text.begin(), text.end());
    helpc::HelpFileInfo info;
    std::vector<std::string> problems;
    bool ok = helpc::ReadHelpFile(bytes, info, problems);
    std::printf("title: %s\n", info.title.c_str());
    for (const helpc::ReadTopic& t : info.topics)
        std::printf("topic 0x%08X%s %s\n", t.offset, t.offset == info.contentsOffset ? " (contents)" : "",
                    t.title.c_str());
    for (const auto& m : info.ctxomap) {
        const helpc::ReadTopic* t = helpc::TopicForOffset(info, m.second);
        std::printf("map %u -> %s\n", m.first, t ? t->title.c_str() : "(none)");
    }
    for (const std::string& p : problems) std::fprintf(stderr, "%s: error: %s\n", path, p.c_str());
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--check") == 0) return Check(argv[2]);
    const bool html = argc == 6 && std::strcmp(argv[4], "--html") == 0;
    if ((argc != 4 && !html) || std::strcmp(argv[2], "-o") != 0) return Usage();
    std::vector<helpc::Diagnostic> errors;
    if (!helpc::BuildHelpFile(argv[1], argv[3], errors, html ? argv[5] : "")) {
        for (const helpc::Diagnostic& d : errors) std::fprintf(stderr, "%s\n", d.Format().c_str());
        std::fprintf(stderr, "qdxhelpc: %s not written\n", argv[3]);
        return 1;
    }
    return 0;
}
