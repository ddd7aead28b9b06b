#include "htmlwriter.h"

#include "hlpformat.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace helpc {

namespace {

// Modest and readable in any browser: the system's own fonts, a measure of
// about 40em (in rem, so the smaller navigation and footer line up with the
// text), the .hlp file's dark blue for headings; printing drops the
// navigation and prints black on white.
constexpr const char* kStyle = R"(:root { color-scheme: light; }
body {
  margin: 0;
  padding: 1.25em 1.25em 3em;
  background: #fff;
  color: #1b1b1b;
  font: 16px/1.55 system-ui, -apple-system, "Segoe UI", Roboto, "Helvetica Neue", Arial, sans-serif;
}
nav, main, footer { max-width: 40rem; margin: 0 auto; }
nav {
  display: flex;
  gap: 1.5em;
  padding-bottom: 0.5em;
  border-bottom: 1px solid #c9d1dc;
  font-size: 0.95em;
}
nav .next { margin-left: auto; }
nav .off { color: #8a8f98; }
nav [aria-current] { color: inherit; font-weight: 600; text-decoration: none; }
main { overflow-wrap: break-word; }
h1, h2 { color: #14337a; line-height: 1.25; }
h1 { font-size: 1.75em; margin: 0.9em 0 0.6em; }
h2 { font-size: 1.2em; margin: 1.6em 0 0.4em; }
p { margin: 0.75em 0; }
ul, ol { margin: 0.5em 0; padding-left: 1.75em; }
li { margin: 0.3em 0; }
a { color: #0b57b8; }
a:visited { color: #5b3a99; }
a:focus-visible { outline: 2px solid #0b57b8; outline-offset: 2px; }
footer {
  margin-top: 2.5em;
  padding-top: 0.5em;
  border-top: 1px solid #c9d1dc;
  color: #5a5f66;
  font-size: 0.85em;
}
@media print {
  nav { display: none; }
  body { padding: 0; color: #000; background: #fff; font-size: 11pt; }
  h1, h2, a, a:visited, footer { color: #000; }
  a { text-decoration: none; }
  h2 { break-after: avoid; }
  li { break-inside: avoid; }
}
)";

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    for (std::size_t i = 0; prefix[i]; ++i) {
        if (i >= s.size()) return false;
        char c = s[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != prefix[i]) return false;
    }
    return true;
}

bool IsPlainFileName(const std::string& s) {
    if (s.empty() || s[0] == '.') return false;
    for (unsigned char c : s) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

// Windows-1252 text as escaped UTF-8.
std::string Text(const std::string& cp1252) {
    std::string out;
    for (char c : Cp1252ToUtf8(cp1252)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

// A bullet's label "12." as its number, or 0 for a plain bullet.
int StepNumber(const std::string& label) {
    if (label.size() < 2 || label.back() != '.') return 0;
    for (std::size_t i = 0; i + 1 < label.size(); ++i)
        if (label[i] < '0' || label[i] > '9') return 0;
    return std::atoi(label.c_str());
}

class PageBuilder {
public:
    PageBuilder(const HelpProject& project, const std::map<std::uint32_t, std::string>& pageOfHash)
        : project_(project), pageOfHash_(pageOfHash) {}

    std::string Build(const Topic& topic, const HtmlPage& page, const HtmlPage& contents,
                      const HtmlPage* previous, const HtmlPage* next) {
        out_.clear();
        out_ += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
        out_ += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
        for (std::uint32_t n : page.numbers)
            out_ += "<meta name=\"help-context\" content=\"" + std::to_string(n) + "\">\n";
        out_ += "<title>" + Text(topic.title) + " - " + Text(project_.title) + "</title>\n";
        out_ += "<style>\n";
        out_ += kStyle;
        out_ += "</style>\n</head>\n<body>\n";

        out_ += "<nav aria-label=\"Help topics\">\n";
        out_ += "<a href=\"" + contents.name + "\"" +
                (&page == &contents ? " aria-current=\"page\"" : "") + ">Contents</a>\n";
        Browse(previous, "prev", "&laquo; Previous");
        Browse(next, "next", "Next &raquo;");
        out_ += "</nav>\n<main>\n";
        out_ += "<h1>" + Text(topic.title) + "</h1>\n";
        for (const Paragraph& p : topic.paragraphs) AddParagraph(p);
        CloseList();
        out_ += "</main>\n<footer>" +
                Text(project_.copyright.empty() ? project_.title : project_.copyright) +
                "</footer>\n</body>\n</html>\n";
        return out_;
    }

private:
    void Browse(const HtmlPage* to, const char* rel, const char* label) {
        const std::string cls = std::string(rel) == "next" ? "next" : "prev";
        if (!to) {
            out_ += "<span class=\"" + cls + " off\">" + label + "</span>\n";
            return;
        }
        out_ += "<a class=\"" + cls + "\" rel=\"" + rel + "\" href=\"" + to->name + "\" title=\"" +
                Text(to->title) + "\">" + label + "</a>\n";
    }

    std::string Inline(const std::vector<Span>& spans) {
        std::string s;
        for (const Span& span : spans) {
            switch (span.kind) {
            case Span::Kind::Plain:
                s += Text(span.text);
                break;
            case Span::Kind::Bold:
                s += "<strong>" + Text(span.text) + "</strong>";
                break;
            case Span::Kind::Jump: {
                // Targets are checked before, and match by hash as in the .hlp.
                auto it = pageOfHash_.find(ContextHash(span.target));
                s += "<a href=\"" + (it == pageOfHash_.end() ? std::string() : it->second) + "\">" +
                     Text(span.text) + "</a>";
                break;
            }
            }
        }
        return s;
    }

    void CloseList() {
        if (list_ == List::Bullets) out_ += "</ul>\n";
        if (list_ == List::Steps) out_ += "</ol>\n";
        list_ = List::None;
    }

    void AddParagraph(const Paragraph& p) {
        if (p.style != Paragraph::Style::Bullet) {
            CloseList();
            const char* tag = p.style == Paragraph::Style::Body ? "p" : "h2";
            out_ += std::string("<") + tag + ">" + Inline(p.spans) + "</" + tag + ">\n";
            return;
        }
        const int number = StepNumber(p.label);
        const List kind = number > 0 ? List::Steps : List::Bullets;
        if (kind != list_) {
            CloseList();
            list_ = kind;
            if (kind == List::Bullets) out_ += "<ul>\n";
            else out_ += number == 1 ? "<ol>\n" : "<ol start=\"" + std::to_string(number) + "\">\n";
            nextStep_ = number;
        }
        out_ += "<li";
        if (kind == List::Steps && number != nextStep_) out_ += " value=\"" + std::to_string(number) + "\"";
        out_ += ">" + Inline(p.spans) + "</li>\n";
        nextStep_ = number + 1;
    }

    enum class List { None, Bullets, Steps };
    const HelpProject& project_;
    const std::map<std::uint32_t, std::string>& pageOfHash_;
    std::string out_;
    List list_ = List::None;
    int nextStep_ = 0;
};

}  // namespace

std::string PageBaseOf(const std::string& outputPath) {
    std::size_t slash = outputPath.find_last_of('/');
    std::string name = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
    std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string HtmlPageName(const std::string& base, const std::string& context, bool isContents) {
    if (isContents) return base + ".html";
    std::string slug = StartsWithNoCase(context, "IDH_") ? context.substr(4) : context;
    for (char& c : slug) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        else if (c == '_') c = '-';
    }
    return base + "-" + slug + ".html";
}

bool CompileHtml(const HelpProject& project, const std::string& base, std::vector<HtmlPage>& pages,
                 std::vector<Diagnostic>& errors) {
    const std::size_t errorsBefore = errors.size();
    pages.clear();
    if (!IsPlainFileName(base)) {
        errors.push_back({project.file, 0,
                          "the output name '" + base +
                              "' gives no page name (letters, digits, '_', '-' and '.' only)"});
        return false;
    }
    if (!CheckProject(project, errors)) return false;

    // Without a contents option the first topic serves as the contents topic.
    const std::uint32_t contentsHash = ContextHash(
        project.contentsContext.empty() ? project.topics[0].context : project.contentsContext);
    std::map<std::uint32_t, std::string> pageOfHash;
    std::map<std::string, const Topic*> topicOfName;
    for (const Topic& t : project.topics) {
        const std::uint32_t hash = ContextHash(t.context);
        HtmlPage page;
        page.context = t.context;
        page.title = t.title;
        page.name = HtmlPageName(base, t.context, hash == contentsHash);
        for (const MapEntry& m : project.map)
            if (ContextHash(m.context) == hash) page.numbers.push_back(m.number);
        std::sort(page.numbers.begin(), page.numbers.end());
        auto clash = topicOfName.emplace(page.name, &t);
        if (!clash.second) {
            const Topic& first = *clash.first->second;
            errors.push_back({t.file, t.line,
                              "topic '" + t.context + "' gets the page name '" + page.name +
                                  "' of '" + first.context + "' (" + first.file + ":" +
                                  std::to_string(first.line) + ")"});
        }
        pageOfHash[hash] = page.name;
        pages.push_back(page);
    }
    if (errors.size() != errorsBefore) {
        pages.clear();
        return false;
    }

    std::size_t contents = 0;
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (ContextHash(pages[i].context) == contentsHash) contents = i;
    PageBuilder builder(project, pageOfHash);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const HtmlPage* previous = i > 0 ? &pages[i - 1] : nullptr;
        const HtmlPage* next = i + 1 < pages.size() ? &pages[i + 1] : nullptr;
        pages[i].html = builder.Build(project.topics[i], pages[i], pages[contents], previous, next);
    }
    return true;
}

}  // namespace helpc
