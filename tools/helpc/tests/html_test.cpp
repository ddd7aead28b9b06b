// The help as HTML pages: checked against the help source, and rendered by a
// real browser (headless Chromium), whose screenshots stay in the build tree.
#include "helpsource.h"
#include "htmlwriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace helpc {
namespace {

std::vector<std::string> Matches(const std::string& html, const std::string& pattern) {
    std::vector<std::string> out;
    std::regex re(pattern);
    for (std::sregex_iterator it(html.begin(), html.end(), re), end; it != end; ++it)
        out.push_back((*it)[1]);
    return out;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(HtmlPages, ProductHelpHasEveryTopicLinkAndMapNumber) {
    HelpProject project;
    std::vector<Diagnostic> errors;
    ASSERT_TRUE(LoadProject(QDX_HELP_PROJECT, project, errors)) << errors[0].Format();
    std::vector<HtmlPage> pages;
    ASSERT_TRUE(CompileHtml(project, "qdxremote", pages, errors)) << errors[0].Format();

    // The names the program's own table of context -> page relies on.
    const std::map<std::string, std::string> want = {
        {"IDH_CONTENTS", "qdxremote.html"},
        {"IDH_USERS_GUIDE", "qdxremote-users-guide.html"},
        {"IDH_INSTALLATION", "qdxremote-installation.html"},
        {"IDH_NETWORK_ADMIN", "qdxremote-network-admin.html"},
        {"IDH_SETTINGS", "qdxremote-settings.html"},
        {"IDH_LICENCE", "qdxremote-licence.html"},
    };
    ASSERT_EQ(pages.size(), project.topics.size());
    std::set<std::string> names;
    std::map<std::string, std::string> pageOf;
    for (const HtmlPage& p : pages) {
        names.insert(p.name);
        pageOf[p.context] = p.name;
    }
    EXPECT_EQ(pageOf, want);

    std::map<std::uint32_t, std::string> numbers;  // from the pages' heads alone
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string& html = pages[i].html;
        const Topic& topic = project.topics[i];
        const std::vector<std::string> title = Matches(html, "<title>(.*) - QDX Remote Control Help</title>");
        const std::vector<std::string> h1 = Matches(html, "<h1>(.*)</h1>");
        ASSERT_EQ(h1.size(), 1u) << pages[i].name;
        EXPECT_EQ(title, h1);
        EXPECT_EQ(h1[0].compare(0, 4, topic.title, 0, 4), 0) << h1[0];
        for (const std::string& n : Matches(html, "<meta name=\"help-context\" content=\"([0-9]+)\">"))
            EXPECT_TRUE(numbers.emplace(std::stoul(n), pages[i].name).second) << n;
        // Every link leads to a written page; nothing leaves the folder.
        const std::vector<std::string> links = Matches(html, "href=\"([^\"]*)\"");
        EXPECT_GE(links.size(), 2u);
        for (const std::string& link : links) EXPECT_TRUE(names.count(link)) << pages[i].name << ": " << link;
        for (const char* foreign : {"<script", "<link", "<img", "<iframe", "src=", "url(", "@import", "://"})
            EXPECT_EQ(html.find(foreign), std::string::npos) << pages[i].name << ": " << foreign;
        EXPECT_EQ(Matches(html, "(<style>)").size(), 1u);
        // Previous and next step through the topics in file order.
        const std::vector<std::string> none;
        EXPECT_EQ(Matches(html, "rel=\"prev\" href=\"([^\"]*)\""),
                  i > 0 ? std::vector<std::string>{pages[i - 1].name} : none);
        EXPECT_EQ(Matches(html, "rel=\"next\" href=\"([^\"]*)\""),
                  i + 1 < pages.size() ? std::vector<std::string>{pages[i + 1].name} : none);
    }
    std::map<std::uint32_t, std::string> mapped;
    for (const MapEntry& m : project.map) mapped[m.number] = want.at(m.context);
    EXPECT_EQ(numbers, mapped);
    EXPECT_EQ(mapped.at(110), "qdxremote-settings.html");

    // The user's guide explains the lines a recording can bring and where its time shows.
    std::string guide;
    for (const HtmlPage& p : pages)
        if (p.name == "qdxremote-users-guide.html") guide = p.html;
    for (const char* text : {"No sound on the line for 15 seconds", "Sound on the line again", "Recorded for 2:05",
                             "Recording 2:05", "QDX Remote Control - recording 2:05", "high-contrast"})
        EXPECT_NE(guide.find(text), std::string::npos) << text;
}

TEST(HtmlPages, MarkupBecomesEscapedSemanticUtf8) {
    HelpProject project;
    project.file = "p.hpj";
    project.title = "Help <T>";
    std::vector<Diagnostic> errors;
    ASSERT_TRUE(ParseTopicText("@topic IDH_A\n@title Caf\xC3\xA9 & more\n"
                               "Text with **bold**, a {jump|IDH_B} & <b> \"q\" 'a' \xE2\x82\xAC.\n"
                               "\n== Sub\n* one\n  continued\n* two\n1. first\n2. second\n"
                               "\nx\n\n3. third\n5. fifth\n"
                               "@topic IDH_B\n@title B\nback to {A|idh_a}\n",
                               "t.txt", project.topics, errors));
    project.map.push_back({"IDH_B", 7, "p.hpj", 1});
    project.map.push_back({"IDH_B", 5, "p.hpj", 2});
    std::vector<HtmlPage> pages;
    ASSERT_TRUE(CompileHtml(project, "t", pages, errors)) << errors[0].Format();
    ASSERT_EQ(pages.size(), 2u);
    const char* inA[] = {
        "<title>Caf\xC3\xA9 &amp; more - Help &lt;T&gt;</title>",
        "<h1>Caf\xC3\xA9 &amp; more</h1>",
        "<p>Text with <strong>bold</strong>, a <a href=\"t-b.html\">jump</a> &amp; &lt;b&gt; "
        "&quot;q&quot; &#39;a&#39; \xE2\x82\xAC.</p>",
        "<h2>Sub</h2>\n<ul>\n<li>one continued</li>\n<li>two</li>\n</ul>\n"
        "<ol>\n<li>first</li>\n<li>second</li>\n</ol>\n<p>x</p>\n"
        "<ol start=\"3\">\n<li>third</li>\n<li value=\"5\">fifth</li>\n</ol>\n</main>",
        "<a href=\"t.html\" aria-current=\"page\">Contents</a>",
        "<span class=\"prev off\">",
        "<footer>Help &lt;T&gt;</footer>",
    };
    for (const char* part : inA) EXPECT_NE(pages[0].html.find(part), std::string::npos) << part;
    const char* inB[] = {
        "<meta name=\"help-context\" content=\"5\">\n<meta name=\"help-context\" content=\"7\">",
        "<a href=\"t.html\">A</a>",
        "<span class=\"next off\">",
    };
    for (const char* part : inB) EXPECT_NE(pages[1].html.find(part), std::string::npos) << part;
    EXPECT_EQ(pages[0].html.find("help-context"), std::string::npos);
}

TEST(HtmlPages, ClashingPageNamesAndUnusableBasesAreRefused) {
    EXPECT_EQ(HtmlPageName("b", "idh_Two_Words.x", false), "b-two-words.x.html");

    HelpProject project;
    project.file = "p.hpj";
    project.title = "T";
    std::vector<Diagnostic> errors;
    ASSERT_TRUE(ParseTopicText("@topic IDH_A\n@title A\nx\n@topic IDH_FOO\n@title F\ny\n"
                               "@topic FOO\n@title G\nz\n",
                               "t.txt", project.topics, errors));
    std::vector<HtmlPage> pages;
    EXPECT_FALSE(CompileHtml(project, "b", pages, errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].Format(),
              "t.txt:7: error: topic 'FOO' gets the page name 'b-foo.html' of 'IDH_FOO' (t.txt:4)");
    EXPECT_TRUE(pages.empty());

    project.topics.pop_back();
    for (const char* base : {"my help", "../x"}) EXPECT_FALSE(CompileHtml(project, base, pages, errors)) << base;
}

// Headless Chromium from Debian's packages renders two pages: each screenshot
// must exist and show more than a blank page, and the contents page's links
// must come out of the browser's parser as links.
TEST(HtmlInBrowser, PagesRenderWithTheirLinks) {
    ASSERT_EQ(std::system("command -v chromium >/dev/null 2>&1"), 0)
        << "chromium is not installed (scripts/install-deps.sh installs it)";
    char templ[] = "/tmp/helpc-html-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    const std::string tmp = templ;
    const std::string art = QDX_HELPC_ARTEFACTS;
    ASSERT_EQ(std::system(("mkdir -p '" + art + "'").c_str()), 0);
    const std::string pages = art + "/pages";
    ASSERT_EQ(std::system((std::string(QDX_HELPC_EXE) + " '" QDX_HELP_PROJECT "' -o '" + tmp +
                           "/qdxremote.hlp' --html '" + pages + "'")
                              .c_str()),
              0);
    auto chromium = [&](const std::string& action, const std::string& page, const std::string& out) {
        const std::string profile = tmp + "/profile-" + page;
        const std::string cmd =
            "timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
            "--disable-background-networking --disable-component-update --disable-sync --user-data-dir='" +
            profile + "' --window-size=1024,1400 " + action + " 'file://" + pages + "/" + page + "' >'" +
            out + "' 2>'" + tmp + "/chromium-" + page + ".log'";
        return std::system(cmd.c_str());
    };
    for (const char* page : {"qdxremote-settings.html", "qdxremote.html"}) {
        const std::string png = art + "/" + std::string(page).substr(0, std::string(page).size() - 5) + ".png";
        std::remove(png.c_str());
        EXPECT_EQ(chromium("--screenshot='" + png + "'", page, "/dev/null"), 0) << page;
        // ImageMagick: the size asked for, and far more colours than an empty page's one.
        const std::string info = tmp + "/identify.txt";
        ASSERT_EQ(std::system(("identify -format '%m %w %h %k' '" + png + "' >'" + info + "' 2>&1").c_str()), 0)
            << ReadText(info);
        const std::string fields = ReadText(info);
        EXPECT_EQ(fields.rfind("PNG 1024 1400 ", 0), 0u) << fields;
        EXPECT_GT(std::atoi(fields.c_str() + fields.rfind(' ')), 32) << page << " looks blank";
    }
    const std::string dom = tmp + "/dom.html";
    EXPECT_EQ(chromium("--dump-dom", "qdxremote.html", dom), 0);
    const std::string parsed = ReadText(dom);
    for (const char* link : {"qdxremote-users-guide.html", "qdxremote-installation.html",
                             "qdxremote-network-admin.html", "qdxremote-settings.html",
                             "qdxremote-licence.html"})
        EXPECT_NE(parsed.find(std::string("<a href=\"") + link + "\">"), std::string::npos) << link;
    EXPECT_NE(parsed.find("<h1>Contents</h1>"), std::string::npos);
    (void)std::system(("rm -rf '" + tmp + "'").c_str());
}

}  // namespace
}  // namespace helpc
