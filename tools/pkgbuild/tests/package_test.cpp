// The package builder: the layout it writes with the program's own format
// code (tested in the core's tests), and the tool's refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <sys/wait.h>
#include <string>
#include <vector>

#include "core/package.h"
#include "package_samples.h"
#include "pkgbuild.h"

namespace {

using pkgbuild::Bytes;
using package_samples::Help;
using package_samples::Program;

TEST(PackageBuilder, LayoutAndRefusals) {
    const Bytes program = Program(kMachineI386), help = Help();
    Bytes package;
    std::string error;
    ASSERT_TRUE(pkgbuild::BuildPackage({program, help}, package, error)) << error;
    ASSERT_EQ(package.size(), program.size() + help.size() + SetupTrailerSize(2));
    EXPECT_TRUE(std::equal(program.begin(), program.end(), package.begin()));
    SetupTrailer t;
    ASSERT_TRUE(ParseSetupTrailer(package.data() + package.size() - 16, 2, t));
    EXPECT_EQ(t.sizes[0], static_cast<std::int32_t>(program.size()));
    EXPECT_EQ(t.sizes[1], static_cast<std::int32_t>(help.size()));
    EXPECT_EQ(t.marker, SETUP_MARKER);
    EXPECT_EQ(SubtractFromChecksum(t.checksum, package.data(), program.size() + help.size()), 0u);
    EXPECT_TRUE(SetupPackageSound(package.data(), package.size(), kMachineI386));
    std::swap(t.sizes[0], t.sizes[1]);  // still adds up, and file 0 still starts as a program
    WriteSetupTrailer(t, package.data() + package.size() - 16);
    EXPECT_FALSE(SetupPackageSound(package.data(), package.size(), kMachineI386));

    // What the program would refuse to install is not built.
    const std::vector<Bytes> refused[] = {
        {program},  // the table has two files
        {program, Bytes()},
        {help, help},
        {program, program},
        {Program(0x01C4), help},  // a PE image for a machine no build of the program is for
    };
    for (const std::vector<Bytes>& files : refused) {
        EXPECT_FALSE(pkgbuild::BuildPackage(files, package, error)) << files.size();
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
    const std::string dir = ::testing::TempDir();
    const std::string exe = dir + "pkg_prog.exe", hlp = dir + "pkg_help.hlp", out = dir + "pkg_setup.exe";
    const std::string empty = dir + "pkg_empty.hlp", missing = dir + "pkg_missing.hlp";
    ASSERT_TRUE(pkgbuild::WriteFile(exe, Program(kMachineAmd64)));
    ASSERT_TRUE(pkgbuild::WriteFile(hlp, Help()));
    ASSERT_TRUE(pkgbuild::WriteFile(empty, Bytes()));
    std::remove(missing.c_str());
    std::remove(out.c_str());
    std::string errors;
    ASSERT_EQ(0, RunTool("-o " + out + " " + exe + " " + hlp, &errors)) << errors;
    Bytes written, expected;
    std::string error;
    ASSERT_TRUE(pkgbuild::ReadFile(out, written));
    ASSERT_TRUE(pkgbuild::BuildPackage({Program(kMachineAmd64), Help()}, expected, error));
    EXPECT_EQ(written, expected);

    // Refusals: exit status 1, one line naming the input at fault (or the
    // tool), nothing written.
    struct Case { std::string inputs, named; } cases[] = {
        {exe, "qdxpkg"},  // a wrong number of files
        {exe + " " + dir, dir},
        {exe + " " + missing, missing},
        {exe + " " + empty, "qdxpkg"},
    };
    for (const Case& c : cases) {
        std::remove(out.c_str());
        EXPECT_EQ(1, RunTool("-o " + out + " " + c.inputs, &errors)) << c.inputs;
        EXPECT_EQ(errors.rfind(c.named + ": error: ", 0), 0u) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        EXPECT_FALSE(pkgbuild::ReadFile(out, written)) << c.inputs;
    }
}

}  // namespace
