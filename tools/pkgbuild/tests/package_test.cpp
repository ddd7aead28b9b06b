// The package builder: the layout it writes with the program's own format
// code (tested in the core's tests) and the tool's refusals; the help pages
// the program ships and opens, against what the help compiler wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "core/helpfiles.h"
#include "core/package.h"
#include "package_samples.h"
#include "pkgbuild.h"

namespace {

using pkgbuild::Bytes;
using package_samples::Help;
using package_samples::Program;
using package_samples::TableFiles;

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
    Bytes overlay = package_samples::FullProgram(kMachineI386);
    overlay.resize(overlay.size() + 16, 1);
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
        // The install would put back other header values than these carry.
        with(0, package_samples::FullProgram(kMachineI386)),                  // checksum 0, not its own
        with(0, package_samples::Signed(package_samples::FullProgram(kMachineI386))),  // nor here
        with(0, overlay),  // data behind the sections that is no certificate table
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

}  // namespace
