// The help as HTML pages, from the same checked project as the .hlp file: one
// self-contained page per topic (one <style> block, no scripts, no external
// files), for systems without a WinHelp reader, where the program opens the
// page of a topic in the browser instead.
//
// Page names: the contents topic is "<base>.html", every other topic
// "<base>-<slug>.html", slug = its context string without a leading "IDH_",
// lower-case, '_' as '-' (IDH_USERS_GUIDE -> "<base>-users-guide.html"). The
// base is the output .hlp file's name without its extension, so both outputs
// share one name. Every map number of a topic is written into its page's
// head as <meta name="help-context" content="110">, so the map can be checked
// from the pages alone.
#ifndef QDX_HELPC_HTMLWRITER_H
#define QDX_HELPC_HTMLWRITER_H

#include "helpsource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace helpc {

struct HtmlPage {
    std::string context;
    std::string title;                 // Windows-1252, as in the topic
    std::string name;                  // file name, also its relative address
    std::vector<std::uint32_t> numbers;  // map numbers of the topic, ascending
    std::string html;                  // UTF-8
};

// "dir/qdxremote.hlp" -> "qdxremote".
std::string PageBaseOf(const std::string& outputPath);

std::string HtmlPageName(const std::string& base, const std::string& context, bool isContents);

// The pages of a checked project, in topic order. Fails (file:line) when the
// base is no plain file name or two topics would get the same page name.
bool CompileHtml(const HelpProject& project, const std::string& base, std::vector<HtmlPage>& pages,
                 std::vector<Diagnostic>& errors);

}  // namespace helpc

#endif
