#include "helpsource.h"

#include "fileio.h"
#include "hlpformat.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

namespace helpc {

std::string Diagnostic::Format() const {
    std::ostringstream s;
    s << (file.empty() ? "<input>" : file);
    if (line > 0) s << ':' << line;
    s << ": error: " << message;
    return s.str();
}

bool IsValidContextString(const std::string& context) {
    if (context.empty() || context.size() > 255) return false;
    for (unsigned char c : context) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

namespace {

// Unicode code points above 0x7F that Windows-1252 holds in 0x80..0x9F.
struct Cp1252Extra {
    std::uint32_t codePoint;
    unsigned char byte;
};
constexpr Cp1252Extra kCp1252Extras[] = {
    {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83}, {0x201E, 0x84}, {0x2026, 0x85},
    {0x2020, 0x86}, {0x2021, 0x87}, {0x02C6, 0x88}, {0x2030, 0x89}, {0x0160, 0x8A},
    {0x2039, 0x8B}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91}, {0x2019, 0x92},
    {0x201C, 0x93}, {0x201D, 0x94}, {0x2022, 0x95}, {0x2013, 0x96}, {0x2014, 0x97},
    {0x02DC, 0x98}, {0x2122, 0x99}, {0x0161, 0x9A}, {0x203A, 0x9B}, {0x0153, 0x9C},
    {0x017E, 0x9E}, {0x0178, 0x9F},
};

}  // namespace

std::string Cp1252ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    auto put = [&](std::uint32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    };
    for (unsigned char c : text) {
        if (c < 0x80 || c >= 0xA0) {
            put(c);
            continue;
        }
        std::uint32_t cp = 0xFFFD;  // the five bytes the code page leaves undefined
        for (const Cp1252Extra& e : kCp1252Extras)
            if (e.byte == c) cp = e.codePoint;
        put(cp);
    }
    return out;
}

namespace {

// Converts one UTF-8 line to Windows-1252. Returns false with a message when
// the line is not valid UTF-8 or holds a character the code page lacks.
bool LineToCp1252(const std::string& in, std::string& out, std::size_t& chars, std::string& why) {
    out.clear();
    chars = 0;
    for (std::size_t i = 0; i < in.size();) {
        unsigned char c = static_cast<unsigned char>(in[i]);
        std::uint32_t cp = 0;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            why = "invalid UTF-8 byte";
            return false;
        }
        if (i + len > in.size()) {
            why = "truncated UTF-8 sequence";
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(in[i + k]);
            if ((cc & 0xC0) != 0x80) {
                why = "invalid UTF-8 sequence";
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        // A longer form than needed would let C0 AF stand for '/' and hide
        // characters from every check that looks at the bytes; surrogates and
        // numbers past U+10FFFF are no characters at all.
        static constexpr std::uint32_t kShortestOf[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kShortestOf[len]) {
            why = "overlong UTF-8 sequence";
            return false;
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            why = "UTF-8 sequence of a surrogate code point";
            return false;
        }
        if (cp > 0x10FFFF) {
            why = "UTF-8 sequence beyond U+10FFFF";
            return false;
        }
        i += len;
        ++chars;
        if (cp == '\t') {
            why = "tab character (use spaces)";
            return false;
        }
        if (cp < 0x20 || cp == 0x7F) {
            why = "control character";
            return false;
        }
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        bool found = false;
        for (const Cp1252Extra& e : kCp1252Extras) {
            if (e.codePoint == cp) {
                out.push_back(static_cast<char>(e.byte));
                found = true;
                break;
            }
        }
        if (!found) {
            char name[16];
            std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(cp));
            why = std::string("character ") + name + " has no Windows-1252 form";
            return false;
        }
    }
    return true;
}

constexpr char kBulletChar = '\x95';  // Windows-1252 bullet

// Length of a "12. " step number at the start of a line, or 0.
std::size_t NumberedStep(const std::string& line) {
    std::size_t i = 0;
    while (i < line.size() && i < 3 && line[i] >= '0' && line[i] <= '9') ++i;
    if (i == 0 || line.compare(i, 2, ". ") != 0) return 0;
    return i + 2;
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return std::string();
    std::size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

// Splits text into lines (LF or CRLF), converted to Windows-1252, with the
// length limit applied. Lines that fail are reported and kept empty.
std::vector<std::string> SplitLines(const std::string& text, const std::string& fileName,
                                    std::vector<Diagnostic>& errors) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string raw = text.substr(start, end - start);
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        ++number;
        std::string line;
        std::size_t chars = 0;
        std::string why;
        if (!LineToCp1252(raw, line, chars, why)) {
            errors.push_back({fileName, number, why});
            line.clear();
        } else if (chars > kMaxSourceLineChars) {
            errors.push_back({fileName, number,
                              "line is " + std::to_string(chars) + " characters long (at most " +
                                  std::to_string(kMaxSourceLineChars) + ")"});
            line.clear();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Parses the inline markup of one paragraph's joined text. `lineOf` gives the
// source line of each byte so that errors point at the right line.
bool ParseInline(const std::string& text, const std::vector<int>& lineOf, const std::string& file,
                 std::vector<Span>& spans, std::vector<Diagnostic>& errors) {
    bool ok = true;
    bool bold = false;
    int boldLine = 0;
    Span current;
    auto flush = [&](int line) {
        if (!current.text.empty()) {
            current.kind = bold ? Span::Kind::Bold : Span::Kind::Plain;
            if (current.line == 0) current.line = line;
            spans.push_back(current);
        }
        current = Span();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        int line = lineOf[i];
        if (current.text.empty()) current.line = line;
        if (c == '\\' && i + 1 < text.size() && std::strchr("{}*\\", text[i + 1])) {
            // An escaped markup character; any other backslash is literal, so
            // paths such as C:\Program Files need no escaping.
            current.text.push_back(text[++i]);
        } else if (c == '*' && i + 1 < text.size() && text[i + 1] == '*') {
            flush(line);
            bold = !bold;
            boldLine = line;
            ++i;
        } else if (c == '{') {
            std::size_t close = text.find('}', i);
            if (close == std::string::npos) {
                errors.push_back({file, line, "jump '{' without closing '}'"});
                ok = false;
                break;
            }
            std::string body = text.substr(i + 1, close - i - 1);
            std::size_t bar = body.rfind('|');
            if (bar == std::string::npos) {
                errors.push_back({file, line, "jump needs the form {text|CONTEXT}"});
                ok = false;
            } else {
                Span jump;
                jump.kind = Span::Kind::Jump;
                jump.text = Trim(body.substr(0, bar));
                jump.target = Trim(body.substr(bar + 1));
                jump.line = line;
                if (jump.text.empty()) {
                    errors.push_back({file, line, "jump without text"});
                    ok = false;
                } else if (!IsValidContextString(jump.target)) {
                    errors.push_back({file, line, "invalid jump target '" + jump.target + "'"});
                    ok = false;
                } else {
                    flush(line);
                    spans.push_back(jump);
                }
            }
            i = close;
        } else if (c == '}') {
            errors.push_back({file, line, "'}' without a jump"});
            ok = false;
        } else {
            current.text.push_back(c);
        }
    }
    flush(lineOf.empty() ? 0 : lineOf.back());
    if (bold) {
        errors.push_back({file, boldLine, "'**' bold text is not closed in its paragraph"});
        ok = false;
    }
    return ok;
}

}  // namespace

namespace {

// The state of one topic file's parse: the topic being filled and the
// paragraph being collected (style, joined text, source line per byte).
class TopicParser {
public:
    TopicParser(const std::string& fileName, std::vector<Topic>& topics, std::vector<Diagnostic>& errors)
        : fileName_(fileName), topics_(topics), errors_(errors) {}

    void Line(const std::string& line, int lineNo) {
        const std::string trimmed = Trim(line);
        if (trimmed.empty()) {
            CloseParagraph();
        } else if (line[0] == '#') {
            // a comment
        } else if (line[0] == '@') {
            CloseParagraph();
            Directive(line, lineNo);
        } else if (!topic_) {
            errors_.push_back({fileName_, lineNo, "text before the first @topic"});
        } else {
            if (!topicHasTitle_) {
                errors_.push_back({fileName_, lineNo, "topic '" + topic_->context + "' has text before its @title"});
                topicHasTitle_ = true;  // report once
            }
            TextLine(line, trimmed, lineNo);
        }
    }

    void FinishTopic() {
        CloseParagraph();
        if (topic_ && !topicHasTitle_)
            errors_.push_back({fileName_, topic_->line, "topic '" + topic_->context + "' has no @title line"});
    }

private:
    void Directive(const std::string& line, int lineNo) {
        std::size_t space = line.find(' ');
        std::string keyword = line.substr(0, space);
        std::string value = space == std::string::npos ? std::string() : Trim(line.substr(space));
        if (keyword == "@topic") {
            FinishTopic();
            if (!IsValidContextString(value)) {
                errors_.push_back({fileName_, lineNo,
                                   "invalid context string '" + value + "' (letters, digits, '_' and '.' only)"});
            }
            topics_.emplace_back();
            topic_ = &topics_.back();
            topic_->context = value;
            topic_->file = fileName_;
            topic_->line = lineNo;
            topicHasTitle_ = false;
        } else if (keyword == "@title") {
            if (!topic_) {
                errors_.push_back({fileName_, lineNo, "@title before any @topic"});
            } else if (topicHasTitle_) {
                errors_.push_back({fileName_, lineNo, "second @title in one topic"});
            } else if (value.empty()) {
                errors_.push_back({fileName_, lineNo, "empty @title"});
            } else if (!topic_->paragraphs.empty()) {
                errors_.push_back({fileName_, lineNo, "@title must come before the topic's text"});
            } else {
                topic_->title = value;
                topicHasTitle_ = true;
            }
        } else {
            errors_.push_back({fileName_, lineNo, "unknown directive '" + keyword + "'"});
        }
    }

    void TextLine(const std::string& line, const std::string& trimmed, int lineNo) {
        if (line.compare(0, 3, "== ") == 0) {
            CloseParagraph();
            OpenParagraph(Paragraph::Style::Subheading, std::string(), lineNo);
            AppendText(Trim(line.substr(3)), lineNo);
            CloseParagraph();
        } else if (line.compare(0, 2, "* ") == 0 ||
                   // A body line that happens to start with "264. " goes on its paragraph.
                   (NumberedStep(line) > 0 && !(open_ && style_ == Paragraph::Style::Body))) {
            const std::size_t skip = line[0] == '*' ? 2 : NumberedStep(line);
            CloseParagraph();
            OpenParagraph(Paragraph::Style::Bullet,
                          line[0] == '*' ? std::string(1, kBulletChar) : line.substr(0, skip - 1), lineNo);
            AppendText(Trim(line.substr(skip)), lineNo);
        } else if (line[0] == ' ' && open_ && style_ == Paragraph::Style::Bullet) {
            AppendText(trimmed, lineNo);
        } else {
            if (open_ && style_ == Paragraph::Style::Bullet) CloseParagraph();
            if (!open_) OpenParagraph(Paragraph::Style::Body, std::string(), lineNo);
            AppendText(trimmed, lineNo);
        }
    }

    void OpenParagraph(Paragraph::Style style, const std::string& label, int lineNo) {
        open_ = true;
        style_ = style;
        label_ = label;
        paraLine_ = lineNo;
    }

    void AppendText(const std::string& s, int line) {
        if (!joined_.empty()) {
            joined_.push_back(' ');
            lineOf_.push_back(line);
        }
        joined_ += s;
        lineOf_.insert(lineOf_.end(), s.size(), line);
    }

    void CloseParagraph() {
        if (!open_) return;
        open_ = false;
        Paragraph p;
        p.style = style_;
        p.label = label_;
        p.line = paraLine_;
        if (ParseInline(joined_, lineOf_, fileName_, p.spans, errors_) && !p.spans.empty())
            topic_->paragraphs.push_back(p);
        joined_.clear();
        lineOf_.clear();
    }

    const std::string& fileName_;
    std::vector<Topic>& topics_;
    std::vector<Diagnostic>& errors_;
    Topic* topic_ = nullptr;
    bool topicHasTitle_ = false;
    bool open_ = false;
    Paragraph::Style style_ = Paragraph::Style::Body;
    std::string label_;
    std::string joined_;
    std::vector<int> lineOf_;
    int paraLine_ = 0;
};

}  // namespace

bool ParseTopicText(const std::string& text, const std::string& fileName,
                    std::vector<Topic>& topics, std::vector<Diagnostic>& errors) {
    const std::size_t errorsBefore = errors.size();
    const std::vector<std::string> lines = SplitLines(text, fileName, errors);
    TopicParser parser(fileName, topics, errors);
    for (std::size_t n = 0; n < lines.size(); ++n) parser.Line(lines[n], static_cast<int>(n + 1));
    parser.FinishTopic();
    return errors.size() == errorsBefore;
}

namespace {

bool ParseProjectText(const std::string& text, const std::string& fileName, HelpProject& project,
                      std::vector<std::pair<std::string, int>>& files,
                      std::vector<Diagnostic>& errors) {
    std::size_t errorsBefore = errors.size();
    std::vector<std::string> lines = SplitLines(text, fileName, errors);
    std::string section;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const int lineNo = static_cast<int>(n + 1);
        std::string line = Trim(lines[n]);
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            if (section != "options" && section != "files" && section != "map")
                errors.push_back({fileName, lineNo, "unknown section [" + section + "]"});
            continue;
        }
        if (section == "files") {
            files.emplace_back(line, lineNo);
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            errors.push_back({fileName, lineNo, "expected 'name = value'"});
            continue;
        }
        std::string key = Trim(line.substr(0, eq));
        std::string value = Trim(line.substr(eq + 1));
        if (section == "options") {
            if (key == "title") project.title = value;
            else if (key == "copyright") project.copyright = value;
            else if (key == "contents") project.contentsContext = value;
            else errors.push_back({fileName, lineNo, "unknown option '" + key + "'"});
        } else if (section == "map") {
            char* end = nullptr;
            errno = 0;
            unsigned long number = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || errno != 0 || number > 0xFFFFFFFFul ||
                value[0] == '-') {
                errors.push_back({fileName, lineNo, "map number '" + value + "' is not a number"});
                continue;
            }
            project.map.push_back({key, static_cast<std::uint32_t>(number), fileName, lineNo});
        } else {
            errors.push_back({fileName, lineNo, "line outside of any section"});
        }
    }
    if (project.title.empty()) errors.push_back({fileName, 0, "the project has no title"});
    if (files.empty()) errors.push_back({fileName, 0, "the project names no topic files"});
    return errors.size() == errorsBefore;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool CheckProject(const HelpProject& project, std::vector<Diagnostic>& errors) {
    std::size_t errorsBefore = errors.size();
    if (project.topics.empty()) errors.push_back({project.file, 0, "the project has no topics"});

    // Context strings match case-insensitively through the hash, so equal
    // hashes are the real test for duplicates.
    std::map<std::uint32_t, const Topic*> byHash;
    for (const Topic& t : project.topics) {
        std::uint32_t h = ContextHash(t.context);
        auto found = byHash.find(h);
        if (found == byHash.end()) {
            byHash[h] = &t;
            continue;
        }
        const Topic& first = *found->second;
        std::string what = first.context == t.context ? "duplicate context string '"
                                                      : "context string hash collision '";
        errors.push_back({t.file, t.line,
                          what + t.context + "' (first used at " + first.file + ":" +
                              std::to_string(first.line) + " by '" + first.context + "')"});
    }
    auto known = [&](const std::string& context) {
        auto it = byHash.find(ContextHash(context));
        return it != byHash.end();
    };
    for (const Topic& t : project.topics) {
        for (const Paragraph& p : t.paragraphs)
            for (const Span& s : p.spans)
                if (s.kind == Span::Kind::Jump && !known(s.target))
                    errors.push_back({t.file, s.line, "jump to unknown topic '" + s.target + "'"});
    }
    // Without a contents option the first topic serves as the contents topic.
    if (!project.contentsContext.empty() && !known(project.contentsContext)) {
        errors.push_back({project.file, 0,
                          "contents topic '" + project.contentsContext + "' does not exist"});
    }
    std::set<std::uint32_t> numbers;
    for (const MapEntry& m : project.map) {
        if (!known(m.context))
            errors.push_back({m.file, m.line, "map entry for unknown topic '" + m.context + "'"});
        if (!numbers.insert(m.number).second)
            errors.push_back({m.file, m.line, "map number " + std::to_string(m.number) +
                                                  " is used twice"});
    }
    return errors.size() == errorsBefore;
}

bool LoadProject(const std::string& projectPath, HelpProject& project,
                 std::vector<Diagnostic>& errors) {
    std::size_t errorsBefore = errors.size();
    project = HelpProject();
    project.file = projectPath;
    std::string text, why;
    if (!ReadWholeFile(projectPath, text, why)) {
        errors.push_back({projectPath, 0, "cannot read the project file: " + why});
        return false;
    }
    std::vector<std::pair<std::string, int>> files;
    ParseProjectText(text, projectPath, project, files, errors);
    const std::string folder = FolderOf(projectPath);
    for (const auto& f : files) {
        std::string path = f.first.size() && f.first[0] == '/' ? f.first : folder + f.first;
        std::string topicText;
        if (!ReadWholeFile(path, topicText, why)) {
            errors.push_back({projectPath, f.second, "cannot read topic file '" + path + "': " + why});
            continue;
        }
        ParseTopicText(topicText, path, project.topics, errors);
    }
    if (errors.size() != errorsBefore) return false;
    return CheckProject(project, errors);
}

}  // namespace helpc
