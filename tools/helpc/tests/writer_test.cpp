// Compiled files read back by the checking reader: the product's help file,
// files that span several topic blocks, trees of several levels, and
// corruptions the checks must notice.
#include "helpsource.h"
#include "hlpreader.h"
#include "hlpwriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

namespace helpc {
namespace {

std::string Problems(const std::vector<std::string>& problems) {
    std::string all;
    for (const std::string& p : problems) all += "\n  " + p;
    return all;
}

struct Compiled {
    HelpProject project;
    CompiledHelp help;
    HelpFileInfo info;
};

void CompileAndRead(const HelpProject& project, const WriterOptions& options, Compiled& c) {
    c.project = project;
    std::vector<Diagnostic> errors;
    ASSERT_TRUE(CompileHelp(project, options, c.help, errors)) << errors[0].Format();
    std::vector<std::string> problems;
    ASSERT_TRUE(ReadHelpFile(c.help.file, c.info, problems)) << Problems(problems);
}

// Every context string opens its own topic, looked up from the tree's root.
void ExpectEveryContextOpensItsTopic(const Compiled& c) {
    ASSERT_EQ(c.info.topics.size(), c.project.topics.size());
    for (std::size_t i = 0; i < c.project.topics.size(); ++i) {
        const Topic& t = c.project.topics[i];
        std::uint32_t offset = 0;
        ASSERT_TRUE(LookupContext(c.info, t.context, offset)) << t.context;
        EXPECT_EQ(offset, c.info.topics[i].offset) << t.context;
        const ReadTopic* shown = TopicForOffset(c.info, offset);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->title, t.title);
        EXPECT_EQ(c.help.topics[i].topicOffset, c.info.topics[i].offset);
    }
}

class ProductHelp : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::vector<Diagnostic> errors;
        HelpProject project;
        loaded_ = LoadProject(QDX_HELP_PROJECT, project, errors);
        for (const Diagnostic& d : errors) ADD_FAILURE() << d.Format();
        if (loaded_) CompileAndRead(project, WriterOptions(), c_);
    }
    void SetUp() override { ASSERT_TRUE(loaded_); }
    const ReadTopic& TopicTitled(const std::string& title) {
        for (const ReadTopic& t : c_.info.topics)
            if (t.title == title) return t;
        ADD_FAILURE() << "no topic " << title;
        return c_.info.topics[0];
    }
    static bool loaded_;
    static Compiled c_;
};
bool ProductHelp::loaded_ = false;
Compiled ProductHelp::c_;

TEST_F(ProductHelp, HasTheSixTopicsInOrderWithContentsAnd110) {
    EXPECT_EQ(c_.info.title, "QDX Remote Control Help");
    const char* titles[] = {"Contents", "User's Guide", "Installation Instructions",
                            "Network Administrator's Information", "Settings",
                            "Software Licence Terms"};
    ASSERT_EQ(c_.info.topics.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(c_.info.topics[i].title, titles[i]);
    EXPECT_EQ(c_.info.contentsOffset, c_.info.topics[0].offset);
    std::uint32_t offset = 0;
    ASSERT_TRUE(LookupMapNumber(c_.info, 110, offset));
    EXPECT_EQ(offset, c_.info.topics[4].offset);
    EXPECT_EQ(TopicForOffset(c_.info, offset)->title, "Settings");
    ExpectEveryContextOpensItsTopic(c_);
    // The topics do not fit one block, so offsets beyond block 0 are exercised.
    EXPECT_GT(c_.info.topics[5].offset, 0x8000u);
}

TEST_F(ProductHelp, ContentsJumpsToTheFiveOtherTopics) {
    std::vector<std::uint32_t> want;
    for (std::size_t i = 1; i < 6; ++i) want.push_back(ContextHash(c_.project.topics[i].context));
    EXPECT_EQ(c_.info.topics[0].jumps, want);
}

TEST_F(ProductHelp, ContextTreeIsSortedAsSignedHashes) {
    ASSERT_EQ(c_.info.context.size(), 6u);
    EXPECT_LT(c_.info.context.front().first, 0);  // IDH_INSTALLATION hashes negative
    EXPECT_TRUE(std::is_sorted(c_.info.context.begin(), c_.info.context.end()));
}

TEST_F(ProductHelp, TopicsCoverWhatUsersAndAdministratorsNeed) {
    const std::string& settings = TopicTitled("Settings").text;
    for (const char* field : {"Server name or IP Address", "Record Channel", "User Name", "Password",
                              "Prompt for data when recording is started",
                              "Activate F5 and F8 as system wide 'hot' keys", "1 to 32"})
        EXPECT_NE(settings.find(field), std::string::npos) << field;
    const std::string& admin = TopicTitled("Network Administrator's Information").text;
    for (const char* fact : {"264", "TCP", "firewall", "HKEY_LOCAL_MACHINE\\Software\\Tallowind\\QDXRemote\\Settings",
                             "password travel over the network in clear text",
                             "stored in clear text", "Logs", "QDX Remote Control Log.txt"})
        EXPECT_NE(admin.find(fact), std::string::npos) << fact;
    const std::string& guide = TopicTitled("User's Guide").text;
    for (const char* fact : {"F5", "F8", "Esc", "F1", "Open QDX Remote Control", "Record Call",
                             "Stop", "Close to Tray", "Exit"})
        EXPECT_NE(guide.find(fact), std::string::npos) << fact;
    EXPECT_NE(admin.find("Enter file number"), std::string::npos);
    const std::string& install = TopicTitled("Installation Instructions").text;
    for (const char* fact : {"uninst.exe", "QDX Remote Control Uninstall", "Software Licence Terms"})
        EXPECT_NE(install.find(fact), std::string::npos) << fact;
}

// A project of `count` topics, each with paragraphs of the given length, every
// topic jumping to the next one.
HelpProject GeneratedProject(int count, std::size_t paragraphChars, int paragraphs) {
    HelpProject p;
    p.file = "gen.hpj";
    p.title = "Generated";
    for (int i = 0; i < count; ++i) {
        Topic t;
        t.context = "TOPIC_" + std::to_string(i);
        t.title = "Topic number " + std::to_string(i);
        t.file = "gen.txt";
        t.line = i + 1;
        for (int k = 0; k < paragraphs; ++k) {
            Paragraph para;
            para.style = k % 2 ? Paragraph::Style::Bullet : Paragraph::Style::Body;
            para.label = "\x95";
            Span text;
            text.text = std::string(paragraphChars, static_cast<char>('a' + (i + k) % 26));
            para.spans.push_back(text);
            Span jump;
            jump.kind = Span::Kind::Jump;
            jump.text = "next";
            jump.target = "TOPIC_" + std::to_string((i + 1) % count);
            para.spans.push_back(jump);
            t.paragraphs.push_back(para);
        }
        p.topics.push_back(t);
    }
    p.map.push_back({"TOPIC_" + std::to_string(count - 1), 110, "gen.hpj", 1});
    return p;
}

TEST(CompiledFile, RecordsSpanningBlocksKeepOffsetsAndText) {
    // Paragraphs of odd sizes so that many records straddle a block boundary.
    HelpProject p = GeneratedProject(12, 1777, 3);
    Compiled c;
    CompileAndRead(p, WriterOptions(), c);
    ExpectEveryContextOpensItsTopic(c);
    EXPECT_GE(c.info.files["|TOPIC"].size(), 16u * kTopicBlockSize);
    for (std::size_t i = 0; i < p.topics.size(); ++i) {
        std::string want = p.topics[i].title + "\n";
        for (const Paragraph& para : p.topics[i].paragraphs)
            want += (para.style == Paragraph::Style::Bullet ? "\x95\t" : "") + para.spans[0].text +
                    "next\n";
        EXPECT_EQ(c.info.topics[i].text, want) << i;
    }
    std::uint32_t offset = 0;
    ASSERT_TRUE(LookupMapNumber(c.info, 110, offset));
    EXPECT_EQ(TopicForOffset(c.info, offset)->title, "Topic number 11");
}

TEST(CompiledFile, SmallPagesGiveDeepTreesThatStillFindEveryEntry) {
    HelpProject p = GeneratedProject(300, 10, 1);
    WriterOptions options;
    options.directoryPageSize = 48;  // two directory entries per leaf
    options.treePageSize = 64;       // seven context entries per leaf
    Compiled c;
    CompileAndRead(p, options, c);
    ExpectEveryContextOpensItsTopic(c);
    EXPECT_GE(GetU16(c.info.files["|CONTEXT"].data() + 32), 3u);  // NLevels
    EXPECT_GE(GetU16(c.info.files["|TTLBTREE"].data() + 32), 3u);
    EXPECT_EQ(c.info.titles.size(), 300u);
}

TEST(CompiledFile, ParagraphTooLongForARecordIsAnErrorAtItsLine) {
    HelpProject p = GeneratedProject(1, 4100, 1);
    p.topics[0].paragraphs[0].line = 42;
    CompiledHelp out;
    std::vector<Diagnostic> errors;
    EXPECT_FALSE(CompileHelp(p, WriterOptions(), out, errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].line, 42);
    EXPECT_NE(errors[0].message.find("too long"), std::string::npos);
}

// Corruptions of a good file, each of which a viewer would trip over.
class Corruption : public ::testing::Test {
protected:
    void SetUp() override { CompileAndRead(GeneratedProject(20, 900, 2), WriterOptions(), c_); }
    std::size_t ContentOf(const std::string& name) { return c_.info.fileOffsets.at(name) + kFileHeaderSize; }
    void PutU32At(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    ::testing::AssertionResult Noticed(const std::string& part) {
        HelpFileInfo info;
        std::vector<std::string> problems;
        if (ReadHelpFile(bytes_, info, problems)) return ::testing::AssertionFailure() << "not noticed";
        for (const std::string& p : problems)
            if (p.find(part) != std::string::npos) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "problems were:" << Problems(problems);
    }
    void Reset() { bytes_ = c_.help.file; }
    Compiled c_;
    Bytes bytes_;
};

TEST_F(Corruption, OffsetsThatMissTheirTopicAreNoticed) {
    Reset();
    PutU32At(ContentOf("|CTXOMAP") + 6, c_.info.topics[3].offset + 1);
    EXPECT_TRUE(Noticed("|CTXOMAP: 110 points at"));
    Reset();
    // First |CONTEXT leaf entry (page 0, after the 8-byte leaf header): its value.
    PutU32At(ContentOf("|CONTEXT") + kBtreeHeaderSize + 8 + 4, c_.info.topics[2].offset + 5);
    EXPECT_TRUE(Noticed("|CONTEXT: hash"));
    Reset();
    PutU32At(ContentOf("|SYSTEM") + 12 + 4 + 10 + 4, 7);  // CONTENTS after the "Generated" title
    EXPECT_TRUE(Noticed("CONTENTS offset"));
}

TEST_F(Corruption, BrokenTreePagesAreNoticed) {
    Reset();
    bytes_[ContentOf("|CONTEXT") + kBtreeHeaderSize] ^= 1;  // leaf Unused
    EXPECT_TRUE(Noticed("Unused field"));
    Reset();
    // Swap the first two |CONTEXT entries: keys out of order.
    std::size_t leaf = ContentOf("|CONTEXT") + kBtreeHeaderSize + 8;
    std::swap_ranges(bytes_.begin() + leaf, bytes_.begin() + leaf + 8, bytes_.begin() + leaf + 8);
    EXPECT_TRUE(Noticed("not in ascending order"));
    Reset();
    bytes_[ContentOf("|CONTEXT") + 24] ^= 1;  // PageSplits
    EXPECT_TRUE(Noticed("PageSplits"));
}

TEST_F(Corruption, BrokenTopicRecordsAreNoticed) {
    Reset();
    PutU32At(12, static_cast<std::uint32_t>(bytes_.size() + 1));
    EXPECT_TRUE(Noticed("EntireFileSize"));
    Reset();
    // The second record (the first topic's heading): its PrevBlock.
    std::size_t topic = ContentOf("|TOPIC") + kTopicBlockHeader;
    std::size_t second = topic + GetU32(&bytes_[topic]);
    PutU32At(second + 8, 0x1234);
    EXPECT_TRUE(Noticed("PrevBlock does not chain"));
    Reset();
    bytes_[second + kTopicLinkHeader + 2] ^= 2;  // TopicLength
    EXPECT_TRUE(Noticed("TopicLength"));
}

void PutAt16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// The second leaf of a tree of several leaves emptied (its first key is then
// empty): a problem to report, for numeric and for string keys alike.
TEST(CraftedFile, EmptySecondLeafIsReportedNotACrash) {
    WriterOptions options;
    options.directoryPageSize = 48;
    options.treePageSize = 64;
    Compiled c;
    CompileAndRead(GeneratedProject(20, 10, 1), options, c);
    for (const char* name : {"|CONTEXT", "|TTLBTREE", "directory"}) {
        Bytes bytes = c.help.file;
        const bool dir = std::string(name) == "directory";
        const std::size_t tree = (dir ? GetU32(&bytes[4]) : c.info.fileOffsets.at(name)) + kFileHeaderSize;
        const std::uint16_t pageSize = GetU16(&bytes[tree + 4]);
        const std::size_t leaf = tree + kBtreeHeaderSize + pageSize;  // page 1: a leaf
        std::fill(bytes.begin() + leaf + 8, bytes.begin() + leaf + pageSize, 0);
        PutAt16(bytes, leaf, pageSize - 8);  // Unused
        PutAt16(bytes, leaf + 2, 0);         // NEntries
        HelpFileInfo info;
        std::vector<std::string> problems;
        EXPECT_FALSE(ReadHelpFile(bytes, info, problems)) << name;
        EXPECT_NE(Problems(problems).find(std::string(name) + ": "), std::string::npos)
            << name << Problems(problems);
    }
}

// |CONTEXT of one entry as a chain of single-child index pages: as deep as
// the page count allows, which must not turn into as deep a recursion.
TEST(CraftedFile, TreeDepthIsBounded) {
    Compiled c;
    CompileAndRead(GeneratedProject(1, 10, 1), WriterOptions(), c);
    const struct {
        std::uint16_t levels;
        bool readable;
    } rows[] = {{16, true}, {17, false}, {30000, false}};
    for (const auto& row : rows) {
        // One leaf of 16 bytes, then index pages each over the page before it.
        BtreeEntry only;
        PutU32(only.key, ContextHash("TOPIC_0"));
        PutU32(only.value, c.info.topics[0].offset);
        Bytes t;
        ASSERT_TRUE(BuildBtree({only}, 0x0002, 16, "L4", t));
        for (std::uint16_t page = 1; page < row.levels; ++page) {
            const std::uint8_t index[16] = {10, 0, 0, 0, static_cast<std::uint8_t>((page - 1) & 0xFF),
                                            static_cast<std::uint8_t>((page - 1) >> 8)};
            t.insert(t.end(), index, index + 16);
        }
        for (std::size_t at : {26, 30, 32})  // RootPage (the last page), TotalPages, NLevels
            PutAt16(t, at, static_cast<std::uint16_t>(row.levels - (at == 26 ? 1 : 0)));
        std::map<std::string, Bytes> files = c.info.files;
        files["|CONTEXT"] = t;
        Bytes bytes;
        ASSERT_TRUE(BuildFileSystem(files, kDirectoryPageSize, bytes));
        HelpFileInfo info;
        std::vector<std::string> problems;
        EXPECT_EQ(ReadHelpFile(bytes, info, problems), row.readable) << row.levels << Problems(problems);
        std::uint32_t offset = 0;
        if (row.readable) {
            EXPECT_TRUE(LookupContext(info, "TOPIC_0", offset));
        } else {
            EXPECT_NE(Problems(problems).find("|CONTEXT: " + std::to_string(row.levels) + " levels"),
                      std::string::npos) << Problems(problems);
        }
    }
}

}  // namespace
}  // namespace helpc
