// The program folder and the choice of the output folder.
#include "batch/output_folder.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "batch/file_names.h"

namespace zx {
namespace {

namespace fs = std::filesystem;

TEST(ProgramFolderTest, IsTheFolderOfThisExecutable) {
    const Utf8Text folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '/');
    EXPECT_EQ(fs::path(folder), fs::canonical("/proc/self/exe").parent_path());
}

class ChooseOutputFolderTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        for (const char* name : {"program", "pictures", "home"}) fs::create_directory(Path(name));
    }
    std::string Path(const std::string& name) const {
        return dir_.path().toStdString() + "/" + name;
    }
    // A file where the output folder should go: the folder cannot be made.
    void Block(const std::string& base) const { std::ofstream(Path(base) + "/水印生成") << "file"; }
    OutputFolderPlaces Places() const { return {Path("program"), Path("pictures"), Path("home")}; }
    QTemporaryDir dir_;
};

TEST_F(ChooseOutputFolderTest, ProgramFolderWhenItTakesFiles) {
    const OutputFolderChoice choice = ChooseOutputFolder(Places());
    EXPECT_EQ(choice.folder, Path("program") + "/水印生成/");
    EXPECT_FALSE(choice.fallback);
    EXPECT_TRUE(fs::is_directory(choice.folder));
    EXPECT_FALSE(fs::exists(Path("pictures") + "/水印生成"));
}

TEST_F(ChooseOutputFolderTest, FallsBackToPicturesThenHome) {
    Block("program");
    OutputFolderChoice choice = ChooseOutputFolder(Places());
    EXPECT_EQ(choice.folder, Path("pictures") + "/水印生成/");
    EXPECT_TRUE(choice.fallback);
    EXPECT_TRUE(fs::is_directory(choice.folder));

    fs::remove_all(choice.folder);
    Block("pictures");
    choice = ChooseOutputFolder(Places());
    EXPECT_EQ(choice.folder, Path("home") + "/水印生成/");
    EXPECT_TRUE(choice.fallback);

    // No pictures folder known: straight to home; a trailing "/" on a place is harmless.
    OutputFolderPlaces places = Places();
    places.picturesFolder.clear();
    places.homeFolder += "/";
    choice = ChooseOutputFolder(places);
    EXPECT_EQ(choice.folder, Path("home") + "/水印生成/");
}

TEST_F(ChooseOutputFolderTest, NothingWorksKeepsTheProgramFolderChoice) {
    for (const char* base : {"program", "pictures", "home"}) Block(base);
    const OutputFolderChoice choice = ChooseOutputFolder(Places());
    EXPECT_EQ(choice.folder, Path("program") + "/水印生成/");
    EXPECT_FALSE(choice.fallback);
}

}  // namespace
}  // namespace zx
