// Readable help source: a project file naming the title, the topic files and the
// numeric context map, and topic files in a small line-based markup.
//
// Project file (INI-like; ';' starts a comment line):
//     [options]
//     title = QDX Remote Control Help
//     copyright = ...
//     contents = IDH_CONTENTS          (context string of the contents topic)
//     [files]
//     contents.txt                     (topic files, relative to the project file, in order)
//     [map]
//     IDH_SETTINGS = 110               (number used by WinHelp HELP_CONTEXT)
//
// Topic file:
//     # comment
//     @topic IDH_SETTINGS              starts a topic; the context string
//     @title Settings                  its title (required, before any text)
//     == Subheading                    a bold subheading paragraph
//     * item text                      a bulleted paragraph
//     1. step text                     a numbered paragraph (hanging like a bullet); not
//                                      inside a body paragraph, where it is just text
//     plain lines                      a body paragraph; a blank line ends it
//     {link text|IDH_TARGET}           a jump inside a paragraph
//     **bold**                         bold text inside a paragraph
//     \{ \} \* \\                      literal characters (any other backslash is literal)
// A continuation line of a bullet or numbered step starts with a blank. The compiler draws the
// title as the topic's heading, because a help reader shows no topic title itself.
#ifndef QDX_HELPC_HELPSOURCE_H
#define QDX_HELPC_HELPSOURCE_H

#include <cstdint>
#include <string>
#include <vector>

namespace helpc {

// Source lines longer than this are refused: the files are meant to be read
// and diffed as plain text, and a long line is nearly always a markup slip.
constexpr std::size_t kMaxSourceLineChars = 100;

struct Diagnostic {
    std::string file;
    int line = 0;
    std::string message;
    std::string Format() const;  // "file:line: error: message"
};

struct Span {
    enum class Kind { Plain, Bold, Jump };
    Kind kind = Kind::Plain;
    std::string text;    // Windows-1252 bytes
    std::string target;  // context string of a jump
    int line = 0;
};

struct Paragraph {
    enum class Style { Heading, Subheading, Body, Bullet };
    Style style = Style::Body;
    std::string label;  // of a bullet: the bullet character, or "1." for a numbered step
    std::vector<Span> spans;
    int line = 0;
};

struct Topic {
    std::string context;
    std::string title;  // Windows-1252 bytes
    std::vector<Paragraph> paragraphs;
    std::string file;
    int line = 0;
};

struct MapEntry {
    std::string context;
    std::uint32_t number = 0;
    std::string file;
    int line = 0;
};

struct HelpProject {
    std::string title;
    std::string copyright;
    std::string contentsContext;
    std::vector<Topic> topics;
    std::vector<MapEntry> map;
    std::string file;  // project file, for messages
};

// Context strings of WinHelp 3.1: letters, digits, '_' and '.'.
bool IsValidContextString(const std::string& context);

// Windows-1252 text of the model as UTF-8.
std::string Cp1252ToUtf8(const std::string& text);

// Parses one topic file's text (UTF-8 or plain ASCII) and appends its topics.
// Returns false and adds diagnostics on any error.
bool ParseTopicText(const std::string& text, const std::string& fileName,
                    std::vector<Topic>& topics, std::vector<Diagnostic>& errors);

// Reads the project file and every topic file it names, then checks the whole:
// unique context strings, known jump targets, contents topic and map entries.
bool LoadProject(const std::string& projectPath, HelpProject& project,
                 std::vector<Diagnostic>& errors);

// The cross-topic checks of LoadProject, for projects built in memory.
bool CheckProject(const HelpProject& project, std::vector<Diagnostic>& errors);

}  // namespace helpc

#endif
