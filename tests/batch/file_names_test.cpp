// Output names and folder creation.
#include "batch/file_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

namespace zx {
namespace {

namespace fs = std::filesystem;

struct BaseNameCase {
    const char* path;
    const char* expected;
};

class FileBaseNameTest : public testing::TestWithParam<BaseNameCase> {};

TEST_P(FileBaseNameTest, GivesTheNameWithoutItsLastExtension) {
    EXPECT_EQ(FileBaseName(GetParam().path), GetParam().expected) << "path: " << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileBaseNameTest,
    testing::Values(
        BaseNameCase{"/pics/summer.png", "summer"}, BaseNameCase{"summer.png", "summer"},
        BaseNameCase{"/pics/photo.final.png", "photo.final"},
        BaseNameCase{"/pics/README", "README"}, BaseNameCase{"/pics/archive.", "archive"},
        BaseNameCase{"/pics/.png", ""}, BaseNameCase{"/pics/my.photo copy", "my.photo copy"},
        BaseNameCase{"/pics/album", "album"}, BaseNameCase{"/pics/", ""}, BaseNameCase{"/", ""},
        BaseNameCase{"", ""},
        // A dot in a folder is no extension of the file.
        BaseNameCase{"/pics/a.b/c", "c"},
        // Repeated separators and a trailing run of them.
        BaseNameCase{"//pics//x.png", "x"}, BaseNameCase{"/pics/album//", ""},
        // Multi-byte UTF-8 names and folders are cut on their bytes safely.
        BaseNameCase{"/图片/夏天.照片.png", "夏天.照片"}, BaseNameCase{"/图片/水印", "水印"},
        // ":" and "\" are ordinary characters in POSIX names.
        BaseNameCase{"/pics/a:b.png", "a:b"}, BaseNameCase{"/pics/a\\b.png", "a\\b"}));

TEST(OutputNamesTest, OutputFileIsFolderBaseNameAndJpg) {
    EXPECT_EQ(OutputFolderSuffix(), "/水印生成/");
    EXPECT_EQ(OutputFilePath("/opt/tools" + OutputFolderSuffix(), "/pics/summer.png"),
              "/opt/tools/水印生成/summer.jpg");
    // A program in "/" has the program folder "".
    EXPECT_EQ(OutputFilePath("" + OutputFolderSuffix(), "/pics/photo.final.png"),
              "/水印生成/photo.final.jpg");
    // Two sources with the same base name share an output.
    EXPECT_EQ(OutputFilePath("/o/", "/a/x.png"), OutputFilePath("/o/", "/b/x.bmp"));
    // An empty path cell still gives a name: ".jpg" in the folder.
    EXPECT_EQ(OutputFilePath("/o/", ""), "/o/.jpg");
}

class EnsureFolderPathTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string Root() const { return dir_.path().toStdString(); }
    QTemporaryDir dir_;
};

TEST_F(EnsureFolderPathTest, CreatesEveryMissingLevel) {
    struct Case {
        std::string relative;
        std::string expectDirectory;
    };
    const Case cases[] = {
        {"/a/b/c", "/a/b/c"},                   // no trailing separator
        {"/程序/水印生成/", "/程序/水印生成"},  // the output folder's shape, multi-byte
        {"/x//y/", "/x/y"},                     // a doubled separator
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(EnsureFolderPath(Root() + c.relative)) << c.relative;
        EXPECT_TRUE(fs::is_directory(Root() + c.expectDirectory)) << c.relative;
    }
}

TEST_F(EnsureFolderPathTest, ExistingFolderIsTrueAndUnchanged) {
    const std::string folder = Root() + "/here/";
    ASSERT_TRUE(fs::create_directory(folder));
    std::ofstream(folder + "keep.txt") << "kept";
    EXPECT_TRUE(EnsureFolderPath(folder));
    EXPECT_TRUE(fs::exists(folder + "keep.txt"));
}

TEST_F(EnsureFolderPathTest, FileInTheWayGivesFalse) {
    std::ofstream(Root() + "/水印生成") << "a file";
    EXPECT_FALSE(EnsureFolderPath(Root() + "/水印生成/"));
    EXPECT_TRUE(fs::is_regular_file(Root() + "/水印生成"));
    // A file as a parent stops the levels below it too.
    EXPECT_FALSE(EnsureFolderPath(Root() + "/水印生成/below/"));
}

TEST_F(EnsureFolderPathTest, ShortEmptyAndNulPathsCreateNothing) {
    const fs::path previous = fs::current_path();
    fs::current_path(Root());
    EXPECT_FALSE(EnsureFolderPath(""));
    EXPECT_FALSE(EnsureFolderPath("ab"));
    EXPECT_FALSE(fs::exists(Root() + "/ab"));
    // Two characters of several bytes each are still two characters.
    EXPECT_FALSE(EnsureFolderPath("水印"));
    EXPECT_FALSE(fs::exists(Root() + "/水印"));
    // A NUL would cut the path short: nothing is made for it.
    EXPECT_FALSE(EnsureFolderPath(std::string("nul\0tail", 8)));
    EXPECT_FALSE(fs::exists(Root() + "/nul"));
    // Three characters without a separator: one folder, relative to the current directory.
    EXPECT_TRUE(EnsureFolderPath("abc"));
    EXPECT_TRUE(fs::is_directory(Root() + "/abc"));
    // An existing two-character folder is reported as it is, though nothing is made.
    ASSERT_TRUE(fs::create_directory(Root() + "/de"));
    EXPECT_TRUE(EnsureFolderPath("de"));
    fs::current_path(previous);
}

TEST_F(EnsureFolderPathTest, NewFoldersFollowTheUmask) {
    const mode_t previous = ::umask(027);
    EXPECT_TRUE(EnsureFolderPath(Root() + "/masked/inner"));
    ::umask(previous);
    for (const char* folder : {"/masked", "/masked/inner"}) {
        struct stat info {};
        ASSERT_EQ(::stat((Root() + folder).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0750u) << folder;
    }
}

}  // namespace
}  // namespace zx
