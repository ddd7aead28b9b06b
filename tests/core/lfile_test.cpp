// Path operations: the table of splits and joins, and inputs longer than a
// path buffer, which must never be written past.
#include <gtest/gtest.h>

#include <string>

#include "core/lfile.h"

namespace {

// A path buffer followed by guard bytes that must stay untouched.
struct GuardedPath {
    GuardedPath() { memset(this, 'G', sizeof *this); }
    char text[qdx::kTextSize];
    char guard[64];
    bool GuardIntact() const {
        for (char g : guard)
            if (g != 'G') return false;
        return true;
    }
};

using Split = void (*)(LFile::PathBuffer&, const char*) noexcept;

struct SplitCase {
    Split op;
    const char* name;
    const char* path;
    const char* expected;
};

TEST(LFilePaths, SplitTable) {
    const SplitCase cases[] = {
        {LFile::_GetFolderFromPath, "folder", "C:\\dir\\file.exe", "C:\\dir"},
        {LFile::_GetFolderFromPath, "folder", "C:\\a/b\\c", "C:\\a/b"},
        {LFile::_GetFolderFromPath, "folder", "C:/a/b", "C:/a"},
        {LFile::_GetFolderFromPath, "folder", "file.exe", ""},
        {LFile::_GetFolderFromPath, "folder", "", ""},
        {LFile::_GetFileFromPath, "file", "C:\\dir\\file.exe", "file.exe"},
        {LFile::_GetFileFromPath, "file", "C:\\dir/file.exe", "file.exe"},
        {LFile::_GetFileFromPath, "file", "C:\\dir\\", ""},
        {LFile::_GetFileFromPath, "file", "file.exe", "file.exe"},
        {LFile::_GetFileTitleFromPath, "title", "C:\\Downloads\\QdxSetup.exe", "QdxSetup"},
        {LFile::_GetFileTitleFromPath, "title", "C:\\x\\a.b.c", "a.b"},
        {LFile::_GetFileTitleFromPath, "title", "C:\\x\\.profile", ".profile"},
        {LFile::_GetFileTitleFromPath, "title", "C:\\x.d\\noext", "noext"},
        {LFile::_GetFileTitleFromPath, "title", "C:\\x\\", ""},
    };
    for (const auto& c : cases) {
        GuardedPath out;
        c.op(out.text, c.path);
        EXPECT_STREQ(out.text, c.expected) << c.name << " of " << c.path;
    }
}

TEST(LFilePaths, FilePathCatTable) {
    struct {
        const char* folder;
        const char* name;
        const char* expected;
    } cases[] = {
        {"C:\\x\\", "a", "C:\\x\\a"},
        {"C:\\x", "a", "C:\\x\\a"},
        {"C:/x/", "a", "C:/x/a"},
        {"", "a", "a"},
        {"C:\\x", "", "C:\\x\\"},
    };
    for (const auto& c : cases) {
        GuardedPath folder;
        qdx::CopyText(folder.text, c.folder);
        LFile::FilePathCat(folder.text, c.name);
        EXPECT_STREQ(folder.text, c.expected) << c.folder << " + " << c.name;
    }
}

TEST(LFilePaths, FilePathCatStaysWithinTheBuffer) {
    const std::string longName(400, 'n');
    GuardedPath folder;
    std::string full(259, 'f');
    qdx::CopyText(folder.text, full.c_str());
    LFile::FilePathCat(folder.text, "a");
    EXPECT_EQ(std::string(folder.text), full);  // a folder of 259 characters is not altered
    EXPECT_TRUE(folder.GuardIntact());

    GuardedPath nearlyFull;
    std::string nearly(250, 'f');
    qdx::CopyText(nearlyFull.text, nearly.c_str());
    LFile::FilePathCat(nearlyFull.text, longName.c_str());
    EXPECT_EQ(std::string(nearlyFull.text), nearly + "\\" + std::string(8, 'n'));  // cut at 259
    EXPECT_TRUE(nearlyFull.GuardIntact());

    GuardedPath unterminated;  // all 260 bytes taken: terminated, nothing appended
    memset(unterminated.text, 'u', sizeof unterminated.text);
    LFile::FilePathCat(unterminated.text, "a");
    EXPECT_EQ(std::string(unterminated.text), std::string(259, 'u'));
    EXPECT_TRUE(unterminated.GuardIntact());
}

TEST(LFilePaths, SplitsOfOverlongPathsStayWithinTheBuffer) {
    const std::string longComponent(400, 'c');
    const std::string longPath = "C:\\dir\\" + longComponent;
    const std::string longFolder = std::string(300, 'd') + "\\file.exe";
    const std::string late = "C:\\" + std::string(300, 'e') + "\\x";

    GuardedPath out;
    LFile::_GetFileFromPath(out.text, longPath.c_str());
    EXPECT_EQ(std::string(out.text), std::string(259, 'c'));
    EXPECT_TRUE(out.GuardIntact());

    GuardedPath title;
    LFile::_GetFileTitleFromPath(title.text, (longPath + ".ext").c_str());
    EXPECT_EQ(std::string(title.text), std::string(259, 'c'));
    EXPECT_TRUE(title.GuardIntact());

    GuardedPath folder;  // the separator lies beyond the buffer: no folder part
    LFile::_GetFolderFromPath(folder.text, longFolder.c_str());
    EXPECT_STREQ(folder.text, "");
    EXPECT_TRUE(folder.GuardIntact());

    GuardedPath early;  // only the separators within the first 260 characters count
    LFile::_GetFolderFromPath(early.text, late.c_str());
    EXPECT_STREQ(early.text, "C:");
    EXPECT_TRUE(early.GuardIntact());
}

}  // namespace
