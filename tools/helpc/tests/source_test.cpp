// The help source: markup, and bad input reported with file and line and
// leaving no output file behind.
#include "helpsource.h"
#include "hlpwriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace helpc {
namespace {

std::vector<Diagnostic> ParseErrors(const std::string& text) {
    std::vector<Topic> topics;
    std::vector<Diagnostic> errors;
    EXPECT_FALSE(ParseTopicText(text, "t.txt", topics, errors));
    return errors;
}

::testing::AssertionResult HasError(const std::vector<Diagnostic>& errors, int line,
                                    const std::string& part) {
    std::string all;
    for (const Diagnostic& d : errors) {
        if (d.line == line && d.message.find(part) != std::string::npos)
            return ::testing::AssertionSuccess();
        all += "\n  " + d.Format();
    }
    return ::testing::AssertionFailure() << "no error at line " << line << " containing '" << part
                                         << "'; got:" << all;
}

TEST(TopicMarkup, ParsesParagraphKinds) {
    const std::string text =
        "# comment\n"
        "@topic IDH_A\n"
        "@title First topic\n"
        "\n"
        "Body text that\n"
        "goes on with **bold** and a {jump|IDH_B}.\n"
        "\n"
        "== Sub\n"
        "* item one\n"
        "  continued\n"
        "* item two\n"
        "1. step one\n"
        "\n"
        "Paths keep C:\\Program Files and \\{braces\\} \\*stars\\*.\n";
    std::vector<Topic> topics;
    std::vector<Diagnostic> errors;
    ASSERT_TRUE(ParseTopicText(text, "t.txt", topics, errors)) << errors[0].Format();
    ASSERT_EQ(topics.size(), 1u);
    const Topic& t = topics[0];
    EXPECT_EQ(t.context, "IDH_A");
    EXPECT_EQ(t.title, "First topic");
    EXPECT_EQ(t.line, 2);
    ASSERT_EQ(t.paragraphs.size(), 6u);

    const Paragraph& body = t.paragraphs[0];
    EXPECT_EQ(body.style, Paragraph::Style::Body);
    EXPECT_EQ(body.line, 5);
    ASSERT_EQ(body.spans.size(), 5u);
    EXPECT_EQ(body.spans[0].text, "Body text that goes on with ");
    EXPECT_EQ(body.spans[1].kind, Span::Kind::Bold);
    EXPECT_EQ(body.spans[1].text, "bold");
    EXPECT_EQ(body.spans[3].kind, Span::Kind::Jump);
    EXPECT_EQ(body.spans[3].text, "jump");
    EXPECT_EQ(body.spans[3].target, "IDH_B");
    EXPECT_EQ(body.spans[3].line, 6);
    EXPECT_EQ(body.spans[4].text, ".");

    EXPECT_EQ(t.paragraphs[1].style, Paragraph::Style::Subheading);
    EXPECT_EQ(t.paragraphs[2].style, Paragraph::Style::Bullet);
    EXPECT_EQ(t.paragraphs[2].spans[0].text, "item one continued");
    EXPECT_EQ(t.paragraphs[2].label, "\x95");
    EXPECT_EQ(t.paragraphs[3].spans[0].text, "item two");
    EXPECT_EQ(t.paragraphs[4].label, "1.");
    EXPECT_EQ(t.paragraphs[5].spans[0].text, "Paths keep C:\\Program Files and {braces} *stars*.");
}

TEST(TopicMarkup, NumberInsideABodyParagraphIsText) {
    std::vector<Topic> topics;
    std::vector<Diagnostic> errors;
    ASSERT_TRUE(ParseTopicText("@topic A\n@title T\nThe default port is\n264. Next sentence.\n",
                               "t.txt", topics, errors));
    ASSERT_EQ(topics[0].paragraphs.size(), 1u);
    EXPECT_EQ(topics[0].paragraphs[0].spans[0].text, "The default port is 264. Next sentence.");
}

TEST(TopicMarkup, ConvertsUtf8ToWindows1252) {
    std::vector<Topic> topics;
    std::vector<Diagnostic> errors;
    ASSERT_TRUE(ParseTopicText("@topic A\n@title Caf\xC3\xA9\n\xE2\x80\x9Cq\xE2\x80\x9D \xE2\x80\x93 \xE2\x82\xAC\n",
                               "t.txt", topics, errors));
    EXPECT_EQ(topics[0].title, "Caf\xE9");
    EXPECT_EQ(topics[0].paragraphs[0].spans[0].text, "\x93q\x94 \x96 \x80");
}

TEST(BadInput, MissingTitleNamesTheTopicLine) {
    auto errors = ParseErrors("@topic IDH_A\n\n@topic IDH_B\n@title B\ntext\n");
    EXPECT_TRUE(HasError(errors, 1, "has no @title"));
    EXPECT_EQ(errors[0].Format(), "t.txt:1: error: topic 'IDH_A' has no @title line");
    // Text before the title is caught where the text is.
    EXPECT_TRUE(HasError(ParseErrors("@topic IDH_A\nsome text\n@title A\n"), 2, "before its @title"));
}

TEST(BadInput, OverLongLineIsRefused) {
    std::string longLine(kMaxSourceLineChars + 1, 'x');
    auto errors = ParseErrors("@topic A\n@title T\n" + longLine + "\n");
    EXPECT_TRUE(HasError(errors, 3, "101 characters long"));
    // Exactly at the limit is fine; characters count, not UTF-8 bytes.
    std::vector<Topic> topics;
    std::vector<Diagnostic> none;
    std::string accents;
    for (std::size_t i = 0; i < kMaxSourceLineChars; ++i) accents += "\xC3\xA9";
    EXPECT_TRUE(ParseTopicText("@topic A\n@title T\n" + accents + "\n", "t.txt", topics, none));
}

TEST(BadInput, MarkupMistakesAreReportedAtTheirLine) {
    EXPECT_TRUE(HasError(ParseErrors("@topic A\n@title T\nsee {here\n"), 3, "without closing"));
    EXPECT_TRUE(HasError(ParseErrors("@topic A\n@title T\nsee {here}\n"), 3, "{text|CONTEXT}"));
    EXPECT_TRUE(HasError(ParseErrors("@topic A\n@title T\na\nb {x|bad-name}\n"), 4, "invalid jump target"));
    EXPECT_TRUE(HasError(ParseErrors("@topic A\n@title T\nfirst\n**bold never ends\n"), 4, "not closed"));
    EXPECT_TRUE(HasError(ParseErrors("@topic bad name\n@title T\n"), 1, "invalid context string"));
    EXPECT_TRUE(HasError(ParseErrors("@topic A\n@title T\n@title U\n"), 3, "second @title"));
    EXPECT_TRUE(HasError(ParseErrors("@topic A\n@title T\n@index x\n"), 3, "unknown directive"));
    EXPECT_TRUE(HasError(ParseErrors("text first\n@topic A\n@title T\n"), 1, "before the first @topic"));
    EXPECT_TRUE(HasError(ParseErrors("@topic A\n@title T\ntab\there\n"), 3, "tab"));
    EXPECT_TRUE(HasError(ParseErrors("@topic A\n@title T\nbad \xFF byte\n"), 3, "UTF-8"));
    // Overlong forms would pass as ASCII ("\xC0\xAF" as '/'); none of these is a character.
    for (const char* bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xC1\xBF",
                            "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80",
                            "\xC3", "\xE2\x82"})
        EXPECT_TRUE(HasError(ParseErrors("@topic A\n@title T\nok\na" + std::string(bad) + "\n"), 4,
                             "UTF-8"))
            << "bytes " << ::testing::PrintToString(std::string(bad));
    EXPECT_TRUE(HasError(ParseErrors("@topic A\n@title T\n\xE4\xB8\xAD\n"), 3, "Windows-1252"));
}

HelpProject TwoTopics() {
    HelpProject p;
    p.file = "p.hpj";
    p.title = "T";
    Topic a;
    a.context = "IDH_A";
    a.title = "A";
    a.file = "a.txt";
    a.line = 1;
    Topic b = a;
    b.context = "IDH_B";
    b.title = "B";
    b.line = 5;
    p.topics = {a, b};
    return p;
}

TEST(BadInput, ProjectChecksFindUnknownAndDuplicateNames) {
    HelpProject p = TwoTopics();
    Paragraph para;
    Span jump;
    jump.kind = Span::Kind::Jump;
    jump.text = "go";
    jump.target = "IDH_MISSING";
    jump.line = 7;
    para.spans.push_back(jump);
    p.topics[1].paragraphs.push_back(para);
    p.map.push_back({"IDH_NOPE", 110, "p.hpj", 12});
    p.map.push_back({"IDH_A", 110, "p.hpj", 13});
    p.contentsContext = "IDH_GONE";
    std::vector<Diagnostic> errors;
    EXPECT_FALSE(CheckProject(p, errors));
    EXPECT_TRUE(HasError(errors, 7, "jump to unknown topic 'IDH_MISSING'"));
    EXPECT_EQ(errors[0].file, "a.txt");
    EXPECT_TRUE(HasError(errors, 12, "unknown topic 'IDH_NOPE'"));
    EXPECT_TRUE(HasError(errors, 13, "used twice"));
    EXPECT_TRUE(HasError(errors, 0, "contents topic 'IDH_GONE'"));

    // Context strings match without regard to case, so these two clash.
    HelpProject q = TwoTopics();
    q.topics[1].context = "idh_a";
    errors.clear();
    EXPECT_FALSE(CheckProject(q, errors));
    EXPECT_TRUE(HasError(errors, 5, "collision 'idh_a'"));
}

// A scratch folder with a project whose topic file is given.
class BuildFile : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/helpc-test-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir_ = templ;
        Write("p.hpj", "[options]\ntitle = T\n[files]\nt.txt\n[map]\nIDH_A = 110\n");
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir_ + "'";
        (void)std::system(cmd.c_str());
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
    }
    std::string Read(const std::string& name) {
        std::ifstream in(dir_ + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& name) {
        struct stat st;
        return stat((dir_ + "/" + name).c_str(), &st) == 0;
    }
    std::string dir_;
};

TEST_F(BuildFile, GoodInputWritesTheFile) {
    Write("t.txt", "@topic IDH_A\n@title A\nHello.\n");
    std::vector<Diagnostic> errors;
    ASSERT_TRUE(BuildHelpFile(dir_ + "/p.hpj", dir_ + "/out.hlp", errors));
    EXPECT_TRUE(Exists("out.hlp"));
    EXPECT_FALSE(Exists("out.hlp.tmp"));
}

TEST_F(BuildFile, HtmlOptionWritesThePagesAndTheSameHelpFile) {
    Write("t.txt", "@topic IDH_A\n@title A\nSee {B|IDH_B}.\n@topic IDH_B\n@title B\nBack.\n");
    std::vector<Diagnostic> errors;
    ASSERT_TRUE(BuildHelpFile(dir_ + "/p.hpj", dir_ + "/out.hlp", errors));
    const std::string alone = Read("out.hlp");
    ASSERT_EQ(mkdir((dir_ + "/html").c_str(), 0755), 0);
    Write("html/out-gone.html", "page of a topic removed from the source");
    Write("html/notes.txt", "not a page");
    auto helpc = [&](const std::string& html) {
        return std::system((std::string(QDX_HELPC_EXE) + " '" + dir_ + "/p.hpj' -o '" + dir_ +
                            "/out.hlp' --html '" + dir_ + "/" + html + "' 2>/dev/null").c_str());
    };
    ASSERT_EQ(helpc("html"), 0);
    EXPECT_EQ(Read("out.hlp"), alone);
    EXPECT_NE(Read("html/out.html").find("<a href=\"out-b.html\">B</a>"), std::string::npos);
    EXPECT_TRUE(Exists("html/out-b.html"));
    EXPECT_FALSE(Exists("html/out-gone.html"));
    EXPECT_TRUE(Exists("html/notes.txt"));
    EXPECT_FALSE(Exists("html/out.html.tmp"));

    // Source errors: neither output is written.
    Write("t.txt", "@topic IDH_A\n@title A\nSee {B|IDH_MISSING}.\n");
    EXPECT_NE(helpc("html"), 0);
    EXPECT_FALSE(Exists("out.hlp"));
    EXPECT_TRUE(Exists("html/out-b.html"));
    EXPECT_NE(helpc("fresh"), 0);
    EXPECT_FALSE(Exists("fresh"));
}

TEST_F(BuildFile, BadInputLeavesNoOutputFile) {
    const std::string bad[] = {
        "@topic IDH_A\nHello.\n",                    // missing title
        "@topic IDH_A\n@title A\nSee {B|IDH_B}.\n",  // unknown jump target
        "@topic IDH_A\n@title A\n" + std::string(150, 'w') + "\n",
    };
    for (const std::string& text : bad) {
        Write("out.hlp", "stale output of an earlier run");
        Write("t.txt", text);
        std::vector<Diagnostic> errors;
        EXPECT_FALSE(BuildHelpFile(dir_ + "/p.hpj", dir_ + "/out.hlp", errors));
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors[0].file, dir_ + "/t.txt");
        EXPECT_GT(errors[0].line, 0);
        EXPECT_FALSE(Exists("out.hlp")) << text;
        EXPECT_FALSE(Exists("out.hlp.tmp"));
    }
}

TEST_F(BuildFile, CommandLineReportsFileAndLine) {
    Write("t.txt", "@topic IDH_A\n@title A\nSee {B|IDH_B}.\n");
    std::string cmd = std::string(QDX_HELPC_EXE) + " '" + dir_ + "/p.hpj' -o '" + dir_ +
                      "/out.hlp' 2>'" + dir_ + "/err.txt'";
    int status = std::system(cmd.c_str());
    EXPECT_NE(status, 0);
    std::ifstream in(dir_ + "/err.txt");
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, dir_ + "/t.txt:3: error: jump to unknown topic 'IDH_B'");
    EXPECT_FALSE(Exists("out.hlp"));

    Write("t.txt", "@topic IDH_A\n@title A\nSee {A|IDH_A}.\n");
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_TRUE(Exists("out.hlp"));
}

TEST_F(BuildFile, FolderPipeOrMissingFileIsAnErrorNamingIt) {
    // As a topic file of the project: an error at the project's line, no output.
    ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((dir_ + "/pipe").c_str(), 0644), 0);
    const struct {
        const char* listed;
        const char* why;
    } rows[] = {{"sub", "is a folder"}, {"pipe", "not a regular file"}, {"gone.txt", "No such file"}};
    for (const auto& row : rows) {
        Write("p.hpj", std::string("[options]\ntitle = T\n[files]\nt.txt\n") + row.listed + "\n");
        Write("t.txt", "@topic IDH_A\n@title A\nHello.\n");
        std::vector<Diagnostic> errors;
        EXPECT_FALSE(BuildHelpFile(dir_ + "/p.hpj", dir_ + "/out.hlp", errors)) << row.listed;
        ASSERT_EQ(errors.size(), 1u) << row.listed;
        EXPECT_EQ(errors[0].file, dir_ + "/p.hpj");
        EXPECT_EQ(errors[0].line, 5);
        EXPECT_NE(errors[0].message.find(dir_ + "/" + row.listed), std::string::npos) << errors[0].message;
        EXPECT_NE(errors[0].message.find(row.why), std::string::npos) << errors[0].message;
        EXPECT_FALSE(Exists("out.hlp"));
    }
    // As the project or the file to check: one line naming it, status 1.
    for (const std::string& args : {"--check '" + dir_ + "/sub'", "'" + dir_ + "/sub' -o '" + dir_ + "/o.hlp'"}) {
        std::string cmd = std::string(QDX_HELPC_EXE) + " " + args + " >/dev/null 2>'" + dir_ + "/err.txt'";
        int status = std::system(cmd.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << args << ": " << status;
        std::ifstream in(dir_ + "/err.txt");
        std::string first;
        std::getline(in, first);
        EXPECT_EQ(first.find(dir_ + "/sub: error: cannot read the "), 0u) << first;
        EXPECT_NE(first.find("is a folder"), std::string::npos) << first;
    }
    // A folder named as the output is an error and stays (remove() would take an empty one).
    Write("p.hpj", "[options]\ntitle = T\n[files]\nt.txt\n");
    std::vector<Diagnostic> errors;
    EXPECT_FALSE(BuildHelpFile(dir_ + "/p.hpj", dir_ + "/sub", errors));
    EXPECT_TRUE(Exists("sub"));
    EXPECT_FALSE(Exists("sub.tmp"));
}

}  // namespace
}  // namespace helpc
