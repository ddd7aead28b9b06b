// The package format as the program reads it and qdxpkg writes it: checksum,
// trailer, the soundness check (sizes against the package length, each file's
// start against its kind), the setup name test, and the tool's refusals; the
// help files the program ships and opens, against what the help compiler
// wrote, and the rule that picks their reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <regex>
#include <set>
#include <sys/wait.h>
#include <string>
#include <vector>

#include "pkgbuild.h"
#include "setup/package.h"

namespace {

using pkgbuild::Bytes;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The start of a PE image: an MZ stub whose e_lfanew points at "PE\0\0" and
// the machine field, then zeros.
Bytes Program(std::uint16_t machine, std::size_t size = 0x200) {
    Bytes b(size, 0);
    b[0] = 'M', b[1] = 'Z';
    WriteLE32(&b[0x3C], 0x40);
    b[0x40] = 'P', b[0x41] = 'E';
    b[0x44] = static_cast<unsigned char>(machine), b[0x45] = static_cast<unsigned char>(machine >> 8);
    return b;
}

// A help file's magic; like the real one it ends in zero bytes, so a smaller
// size still adds up to the same checksum.
Bytes Help() {
    Bytes b(0x100, 0);
    WriteLE32(b.data(), kHelpFileMagic);
    return b;
}

Bytes Page() { return Text("<!DOCTYPE html>\n<html lang=\"en\">\n</html>\n"); }

// One file for each row of the program's table, each of its row's kind.
std::vector<Bytes> TableFiles(std::uint16_t machine) {
    std::vector<Bytes> files;
    for (std::size_t i = 0; i < kSetupFileCount; ++i) {
        switch (SetupFileTable[i].kind) {
        case SetupFileKind::kProgram: files.push_back(Program(machine)); break;
        case SetupFileKind::kHelp: files.push_back(Help()); break;
        case SetupFileKind::kHtmlPage: files.push_back(Page()); break;
        }
    }
    return files;
}

SetupTrailer Trailer(std::vector<std::int32_t> sizes) {
    SetupTrailer t;
    t.count = sizes.size();
    for (std::size_t i = 0; i < sizes.size(); ++i) t.sizes[i] = sizes[i];
    return t;
}

TEST(PackageFormat, Checksum) {
    struct Case { Bytes bytes; std::uint32_t sum; } cases[] = {
        {Text("abc"), 0x126},
        {Bytes(), 0},
        {Bytes(0x01010102, 0xFF), 0xFE},  // 0xFF x 0x01010102 = 0x1000000FE, kept modulo 2^32
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AddToChecksum(0, c.bytes.data(), c.bytes.size()), c.sum);
        // The reader starts from the stored sum and subtracts: intact bytes give 0.
        EXPECT_EQ(SubtractFromChecksum(c.sum, c.bytes.data(), c.bytes.size()), 0u);
    }
}

TEST(PackageFormat, ShippedTrailerAndLengthCheck) {
    // The 16 bytes that end the shipped package of 208,351 bytes.
    const unsigned char bytes[] = {0x00, 0x00, 0x03, 0x00, 0xCF, 0x2D, 0x00, 0x00,
                                   0x4F, 0x9D, 0x68, 0x01, 0xF0, 0xF0, 0x0F, 0x0F};
    SetupTrailer t;
    ASSERT_TRUE(ParseSetupTrailer(bytes, 2, t));
    EXPECT_EQ(t.sizes[0], 196608);
    EXPECT_EQ(t.sizes[1], 11727);
    EXPECT_EQ(t.checksum, 0x01689D4Fu);
    EXPECT_EQ(t.marker, SETUP_MARKER);
    EXPECT_TRUE(SetupSizesSound(t, 208351));
    EXPECT_FALSE(SetupSizesSound(t, 208350));  // one byte cut out of the middle
    EXPECT_FALSE(SetupSizesSound(t, 208352));  // a spare byte before the trailer

    unsigned char back[16];
    WriteSetupTrailer(t, back);
    EXPECT_EQ(0, memcmp(back, bytes, sizeof bytes));
    EXPECT_FALSE(ParseSetupTrailer(bytes, 0, t));
    EXPECT_FALSE(ParseSetupTrailer(bytes, kMaxSetupFiles + 1, t));
}

TEST(PackageFormat, SizesAgainstPackageLength) {
    struct Case {
        std::vector<std::int32_t> sizes;
        std::uint64_t length, payload;
        bool sound;
    } cases[] = {
        {{10, 5}, 31, 15, true},
        {{10, 5}, 32, 15, false},                      // spare bytes: a size smaller than its file
        {{10, 5}, 30, 15, false},                      // sizes beyond the end
        {{10, 0}, 26, 10, false},                      // size 0: a file of the table is missing
        {{10, -3}, 26, 10, false},                     // negative: missing as well
        {{0, 0}, 15, 0, false},                        // shorter than the trailer
        {{0, 0}, 16, 0, false},                        // nothing to install
        {{0x7FFFFFFF, 0x7FFFFFFF}, 40, 0xFFFFFFFEull, false},
        // Sums that wrap in 32 bits must not pass as small.
        {{0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 3}, 24, 0x180000000ull, false},
    };
    for (const Case& c : cases) {
        SetupTrailer t = Trailer(c.sizes);
        EXPECT_EQ(SetupPayloadSize(t), c.payload);
        EXPECT_EQ(SetupSizesSound(t, c.length), c.sound) << c.length;
    }
}

TEST(PackageFormat, FileStartsAsItsKindMust) {
    const Bytes amd64 = Program(kMachineAmd64), i386 = Program(kMachineI386);
    Bytes noStub = amd64, noSignature = amd64, lfanewAtEnd = amd64, lfanewHuge = amd64;
    noStub[1] = 'Y';
    noSignature[0x42] = 1;
    WriteLE32(&lfanewAtEnd[0x3C], static_cast<std::uint32_t>(amd64.size() - 4));  // no room for the machine
    WriteLE32(&lfanewHuge[0x3C], 0xFFFFFFF0u);
    using K = SetupFileKind;
    struct Case { const char* name; K kind; Bytes bytes; std::uint16_t machine; bool sound; } cases[] = {
        {"AMD64 program", K::kProgram, amd64, kMachineAmd64, true},
        {"i386 program", K::kProgram, i386, kMachineI386, true},
        {"program of the other machine", K::kProgram, i386, kMachineAmd64, false},
        {"no MZ", K::kProgram, noStub, kMachineAmd64, false},
        {"no PE signature", K::kProgram, noSignature, kMachineAmd64, false},
        {"e_lfanew leaves no machine field", K::kProgram, lfanewAtEnd, kMachineAmd64, false},
        {"e_lfanew near 4 GB", K::kProgram, lfanewHuge, kMachineAmd64, false},
        {"stub cut inside e_lfanew", K::kProgram, Bytes(amd64.begin(), amd64.begin() + 0x3E), kMachineAmd64,
         false},
        {"help bytes as the program", K::kProgram, Help(), kMachineAmd64, false},
        {"nothing", K::kProgram, Bytes(), kMachineAmd64, false},
        {"help", K::kHelp, Help(), kMachineAmd64, true},
        {"program bytes as help", K::kHelp, amd64, kMachineAmd64, false},
        {"help magic cut short", K::kHelp, Bytes{0x3F, 0x5F, 0x03}, kMachineAmd64, false},
        {"page", K::kHtmlPage, Page(), kMachineAmd64, true},
        {"help bytes as a page", K::kHtmlPage, Help(), kMachineAmd64, false},
        {"page without its doctype", K::kHtmlPage, Text("<html lang=\"en\">"), kMachineAmd64, false},
        {"doctype cut short", K::kHtmlPage, Text("<!DOCTYPE htm"), kMachineAmd64, false},
        {"page as the help", K::kHelp, Page(), kMachineAmd64, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SetupFileStartSound(c.kind, c.bytes.data(), c.bytes.size(), c.machine), c.sound) << c.name;
}

TEST(PackageFormat, SetupNameTest) {
    struct Case { const char* title; std::uint32_t marker; bool stops; } cases[] = {
        {"mysetup", NO_MARKER, true},
        {"QdxSetup", 0x12345678, true},
        {"SeTuP", UNINSTALL_MARKER, true},  // the name wins over the uninstall marker
        {"qdxsetup", SETUP_MARKER, false},
        {"qdxremote", NO_MARKER, false},
        {"install", SETUP_MARKER, false},    // a package under another name installs
        {"set up", NO_MARKER, false},
        {"setu", NO_MARKER, false},
        {"", NO_MARKER, false},
    };
    for (const Case& c : cases) EXPECT_EQ(SetupNameStopsRun(c.title, c.marker), c.stops) << c.title;
}

TEST(PackageBuilder, LayoutAndRefusals) {
    const std::vector<Bytes> files = TableFiles(kMachineI386);
    Bytes package;
    std::string error;
    ASSERT_TRUE(pkgbuild::BuildPackage(files, package, error)) << error;
    const std::size_t trailerSize = SetupTrailerSize(kSetupFileCount);
    std::size_t payload = 0;
    for (const Bytes& f : files) {
        EXPECT_TRUE(std::equal(f.begin(), f.end(), package.begin() + payload)) << payload;
        payload += f.size();
    }
    ASSERT_EQ(package.size(), payload + trailerSize);
    SetupTrailer t;
    ASSERT_TRUE(ParseSetupTrailer(package.data() + payload, kSetupFileCount, t));
    for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(t.sizes[i], static_cast<std::int32_t>(files[i].size()));
    EXPECT_EQ(t.marker, SETUP_MARKER);
    EXPECT_EQ(SubtractFromChecksum(t.checksum, package.data(), payload), 0u);
    EXPECT_TRUE(SetupPackageSound(package.data(), package.size(), kMachineI386));
    std::swap(t.sizes[0], t.sizes[1]);  // still adds up, and file 0 still starts as a program
    WriteSetupTrailer(t, package.data() + payload);
    EXPECT_FALSE(SetupPackageSound(package.data(), package.size(), kMachineI386));

    // What the program would refuse to install is not built.
    const auto with = [&](std::size_t index, const Bytes& bytes) {
        std::vector<Bytes> changed = files;
        changed[index] = bytes;
        return changed;
    };
    const std::vector<Bytes> refused[] = {
        {files.begin(), files.end() - 1},  // one file short of the table
        with(1, Bytes()),
        with(0, Help()),
        with(1, Program(kMachineI386)),
        with(2, Help()),  // a help page that is not one
        with(0, Program(0x01C4)),  // a PE image for a machine no build of the program is for
    };
    for (const std::vector<Bytes>& f : refused) {
        EXPECT_FALSE(pkgbuild::BuildPackage(f, package, error)) << f.size();
        EXPECT_FALSE(error.empty());
    }
}

// Runs qdxpkg with arguments; its exit status, stderr in *errors.
int RunTool(const std::string& arguments, std::string* errors) {
    const std::string errorFile = ::testing::TempDir() + "pkg_errors.txt";
    const int status = std::system((std::string(QDXPKG_EXE) + " " + arguments + " 2>" + errorFile).c_str());
    Bytes text;
    pkgbuild::ReadFile(errorFile, text);
    *errors = std::string(text.begin(), text.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PackageBuilder, ToolWritesThePackage) {
    const std::string dir = ::testing::TempDir() + "pkg_files";
    ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir '" + dir + "'").c_str()), 0);
    const std::string exe = dir + "/prog.exe", out = dir + "/setup.exe";
    const std::string empty = dir + "/empty.hlp", missing = dir + "/missing.hlp";
    const std::vector<Bytes> files = TableFiles(kMachineAmd64);
    ASSERT_TRUE(pkgbuild::WriteFile(exe, files[0]));
    std::string named;  // the packaged files by their table names, in table order
    for (std::size_t i = 1; i < kSetupFileCount; ++i) {
        const std::string path = dir + "/" + SetupFileTable[i].fileName;
        ASSERT_TRUE(pkgbuild::WriteFile(path, files[i]));
        named += " " + path;
    }
    ASSERT_TRUE(pkgbuild::WriteFile(empty, Bytes()));
    Bytes expected, written;
    std::string error, errors;
    ASSERT_TRUE(pkgbuild::BuildPackage(files, expected, error));
    for (const std::string& arguments : {exe + named, "--dir " + dir + " " + exe}) {
        std::remove(out.c_str());
        ASSERT_EQ(0, RunTool("-o " + out + " " + arguments, &errors)) << errors;
        ASSERT_TRUE(pkgbuild::ReadFile(out, written));
        EXPECT_EQ(written, expected) << arguments;
    }

    // Refusals: exit status 1, one line naming the input at fault (or the
    // tool), nothing written.
    const std::string rest = named.substr(named.find(' ', 1));  // the files behind the help file
    struct Case { std::string inputs, named; } cases[] = {
        {exe, "qdxpkg"},  // a wrong number of files
        {exe + " " + dir + rest, dir},
        {exe + " " + missing + rest, missing},
        {exe + " " + empty + rest, "qdxpkg"},
        {"--dir " + dir + "/none " + exe, dir + "/none/" + SetupFileTable[1].fileName},
    };
    for (const Case& c : cases) {
        std::remove(out.c_str());
        EXPECT_EQ(1, RunTool("-o " + out + " " + c.inputs, &errors)) << c.inputs;
        EXPECT_EQ(errors.rfind(c.named + ": error: ", 0), 0u) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_FALSE(pkgbuild::ReadFile(out, written)) << c.inputs;
    }
}

// The program's table of help pages and of context numbers, against the pages
// the help compiler wrote for the build: the same page names, and each
// context number in the head of the page the program opens for it.
TEST(HelpFiles, ProgramTablesMatchTheCompiledPages) {
    std::set<std::string> written;
    std::map<std::uint32_t, std::string> contexts;  // from the pages' heads
    DIR* dir = opendir(QDX_HELP_HTML_DIR);
    ASSERT_NE(dir, nullptr) << QDX_HELP_HTML_DIR;
    const std::regex meta("<meta name=\"help-context\" content=\"([0-9]+)\">");
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < 5 || name.compare(name.size() - 5, 5, ".html") != 0) continue;
        written.insert(name);
        Bytes page;
        ASSERT_TRUE(pkgbuild::ReadFile(std::string(QDX_HELP_HTML_DIR) + "/" + name, page));
        const std::string html(page.begin(), page.end());
        for (std::sregex_iterator it(html.begin(), html.end(), meta), end; it != end; ++it)
            EXPECT_TRUE(contexts.emplace(std::stoul((*it)[1]), name).second) << name;
    }
    closedir(dir);

    std::set<std::string> packaged;
    for (std::size_t i = 0; i < kSetupFileCount; ++i)
        if (SetupFileTable[i].kind == SetupFileKind::kHtmlPage) packaged.insert(SetupFileTable[i].fileName);
    EXPECT_EQ(packaged, written);
    EXPECT_TRUE(packaged.count(kHelpContentsPage));
    std::map<std::uint32_t, std::string> opened;
    for (const HelpContextPage& entry : kHelpContextPages) opened[entry.context] = HelpPageForContext(entry.context);
    EXPECT_EQ(opened, contexts);
    EXPECT_STREQ(HelpPageForContext(4711), kHelpContentsPage);  // not mapped: the contents
}

TEST(HelpFiles, ReaderRule) {
    struct Case {
        const char* system;
        HelpSystem facts;  // wine, major version, winhlp32.exe, ftsrch.dll
        bool works;
    } systems[] = {
        {"XP", {false, 5, true, true}, true},
        {"2000 without the search library", {false, 5, true, false}, true},
        {"Vista to 11 with the stub only", {false, 6, true, false}, false},
        {"7 with the reader added", {false, 6, true, true}, true},
        {"10 with the reader copied over", {false, 10, true, true}, true},
        {"Wine", {true, 6, true, false}, true},
        {"Wine without its reader", {true, 6, false, false}, false},
        {"no reader file at all", {false, 5, false, true}, false},
        {"version not known", {false, 0, true, false}, false},
    };
    for (const Case& c : systems) EXPECT_EQ(WinHelpReaderWorks(c.facts), c.works) << c.system;

    using R = HelpReader;
    struct Choice { const char* setting; bool works; R reader; } choices[] = {
        {nullptr, true, R::kWinHelp},   {nullptr, false, R::kBrowser}, {"", false, R::kBrowser},
        {"WinHelp", false, R::kWinHelp}, {"browser", true, R::kBrowser}, {"BROWSER", true, R::kBrowser},
        {"Chrome", true, R::kWinHelp},   {"WinHelp ", false, R::kBrowser},  // other texts: automatic
    };
    for (const Choice& c : choices)
        EXPECT_EQ(ChooseHelpReader(c.setting, c.works), c.reader) << (c.setting ? c.setting : "(absent)") << c.works;
}

}  // namespace
