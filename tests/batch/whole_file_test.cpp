// Whole-file reading, plain writing and the safe write that every output goes through.
#include "batch/whole_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zx {
namespace {

namespace fs = std::filesystem;

ByteBuffer Bytes(const std::string& text) {
    return ByteBuffer(text.begin(), text.end());
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class WholeFileTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    std::string Path(const std::string& name) const {
        return dir_.path().toStdString() + "/" + name;
    }
    void Make(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    // Every entry of the folder, to show that no temporary file was left behind.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path().toStdString()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    QTemporaryDir dir_;
};

TEST_F(WholeFileTest, ReadsWholeRegularFiles) {
    std::string binary("\x89PNG\0\r\n", 7);
    binary += std::string(100000, 'x');
    Make("data.bin", binary);
    Utf8Text reason = "stale";
    EXPECT_EQ(ReadWholeFile(Path("data.bin"), reason), Bytes(binary));
    EXPECT_EQ(reason, "");
    Make("水印.png", "mark");
    EXPECT_EQ(ReadWholeFile(Path("水印.png")), Bytes("mark"));
}

TEST_F(WholeFileTest, UnreadableThingsGiveEmptyWithAReason) {
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    Make("empty", "");
    fs::create_directory(Path("folder"));
    Make("nul", "x");
    {
        // Sparse: larger than the limit without using the disk.
        std::ofstream(Path("huge"));
        fs::resize_file(Path("huge"), MaxWholeFileBytes + 1);
    }
    struct Case {
        std::string path;
        const char* reason;
    };
    const Case cases[] = {
        {"", kCannotRead},
        {Path("missing"), kCannotRead},
        {Path("folder"), kCannotRead},
        {Path("pipe"), kCannotRead},  // must neither wait for a writer nor read forever
        {"/dev/zero", kCannotRead},   // a device would feed bytes without end
        {Path("huge"), kTooLarge},
        {Path("empty"), ""},  // read fine, holds nothing
        {Path("nul") + std::string(1, '\0') + "suffix", kCannotRead},
    };
    for (const Case& c : cases) {
        Utf8Text reason = "stale";
        EXPECT_TRUE(ReadWholeFile(c.path, reason).empty()) << c.path;
        EXPECT_EQ(reason, c.reason) << c.path;
    }
}

TEST_F(WholeFileTest, PlainWriteCreatesOrTruncates) {
    EXPECT_TRUE(WriteWholeFile(Path("out"), Bytes("longer contents")));
    EXPECT_TRUE(WriteWholeFile(Path("out"), Bytes("short")));
    EXPECT_EQ(Contents(Path("out")), "short");
    EXPECT_TRUE(WriteWholeFile(Path("zero"), {}));
    EXPECT_TRUE(fs::exists(Path("zero")));
    EXPECT_EQ(fs::file_size(Path("zero")), 0u);
    EXPECT_FALSE(WriteWholeFile("", Bytes("x")));
    EXPECT_FALSE(WriteWholeFile(Path("missing/out"), Bytes("x")));
}

TEST_F(WholeFileTest, SafeWriteCreatesAndReplacesWholeFiles) {
    const std::string target = Path("照片.jpg");
    WriteOutcome outcome = WriteFileSafely(target, Bytes("first"));
    EXPECT_TRUE(outcome.written);
    EXPECT_EQ(outcome.reason, "");
    EXPECT_EQ(Contents(target), "first");
    outcome = WriteFileSafely(target, Bytes("second, longer"));
    EXPECT_TRUE(outcome.written);
    EXPECT_EQ(Contents(target), "second, longer");
    EXPECT_EQ(Entries(), std::vector<std::string>{"照片.jpg"});
}

TEST_F(WholeFileTest, SafeWriteOfALongNameStillFindsATemporaryName) {
    // 240 bytes: the name itself is allowed, a temporary name with a tag must still fit.
    const std::string name = std::string(236, 'n') + ".jpg";
    EXPECT_TRUE(WriteFileSafely(Path(name), Bytes("data")).written);
    EXPECT_EQ(Entries(), std::vector<std::string>{name});
}

TEST_F(WholeFileTest, SafeWriteFailuresLeaveNothingBehind) {
    Make("kept.jpg", "old output");
    fs::create_directories(Path("taken.jpg/inner"));
    struct Case {
        std::string path;
        ByteBuffer data;
    };
    const Case cases[] = {
        {Path("missing/out.jpg"), Bytes("x")},  // folder missing
        {Path("taken.jpg"), Bytes("x")},        // a folder holds the name
        {Path("kept.jpg"), {}},                 // no data: a 0-byte output is never written
        {"", Bytes("x")},
        {Path(""), Bytes("x")},  // names a folder
    };
    for (const Case& c : cases) {
        const WriteOutcome outcome = WriteFileSafely(c.path, c.data);
        EXPECT_FALSE(outcome.written) << c.path;
        EXPECT_EQ(outcome.reason, kCannotWrite) << c.path;
    }
    EXPECT_EQ(Contents(Path("kept.jpg")), "old output");
    EXPECT_TRUE(fs::is_directory(Path("taken.jpg/inner")));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"kept.jpg", "taken.jpg"}));
}

TEST_F(WholeFileTest, SafeWriteThatRunsOutOfSpaceKeepsTheOldOutput) {
    Make("out.jpg", "old output");
    // A file-size limit makes the write fail part-way, as a full disk would.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const WriteOutcome outcome = WriteFileSafely(Path("out.jpg"), ByteBuffer(100000, 7));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &previous), 0);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.reason, kCannotWrite);
    EXPECT_EQ(Contents(Path("out.jpg")), "old output");
    EXPECT_EQ(Entries(), std::vector<std::string>{"out.jpg"});
}

TEST_F(WholeFileTest, SafeWriteGivesOutputsTheModeTheUmaskAllows) {
    const mode_t previous = ::umask(022);
    EXPECT_TRUE(WriteFileSafely(Path("a.jpg"), Bytes("x")).written);
    ::umask(previous);
    struct stat info {};
    ASSERT_EQ(::stat(Path("a.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

}  // namespace
}  // namespace zx
