// The batch run against a scripted window: what it reads, visits, writes and says.
#include "batch/run_batch.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "batch/file_names.h"

namespace zx {
namespace {

namespace fs = std::filesystem;

// A window whose list, radio buttons and boxes the test scripts. A hook on every event pump
// lets a test act during a run as a user would.
class FakeWindow : public WindowOperations {
  public:
    std::vector<Utf8Text> paths;  // column 1 of each row
    bool textChecked = true;
    bool imageChecked = false;
    Utf8Text text = "水印";
    Utf8Text markPath;
    std::function<void(FakeWindow&)> onPump;

    std::vector<Utf8Text> messages;
    std::vector<std::pair<std::int32_t, std::int32_t>> progress;
    int hides = 0;
    int rowCountCalls = 0;
    int markPathReads = 0;
    int pumps = 0;
    bool closed = false;
    int touchedAfterClose = 0;

    Utf8Text ReadControlText(EditBox box) override {
        Touch();
        if (box == EditBox::WatermarkText) return text;
        ++markPathReads;
        return markPath;
    }
    bool IsRadioChecked(RadioButton button) override {
        Touch();
        return button == RadioButton::TextWatermark ? textChecked : imageChecked;
    }
    std::int32_t ListRowCount() override {
        Touch();
        ++rowCountCalls;
        return static_cast<std::int32_t>(paths.size());
    }
    Utf8Text ReadListCell(std::int32_t row, std::int32_t column) override {
        Touch();
        if (row < 0 || row >= static_cast<std::int32_t>(paths.size())) return {};
        if (column == 0) return std::to_string(row + 1);
        return column == 1 ? paths[row] : Utf8Text();
    }
    std::int32_t AppendListRow() override {
        Touch();
        paths.emplace_back();
        return static_cast<std::int32_t>(paths.size()) - 1;
    }
    void WriteListCell(std::int32_t row, std::int32_t column, const Utf8Text& cell) override {
        Touch();
        if (column == 1 && row >= 0 && row < static_cast<std::int32_t>(paths.size()))
            paths[row] = cell;
    }
    void ShowMessage(const Utf8Text& message) override {
        Touch();
        messages.push_back(message);
    }
    void PumpPendingEvents() override {
        Touch();
        ++pumps;
        if (onPump) onPump(*this);
    }
    bool WindowClosed() override { return closed; }
    void ShowProgress(std::int32_t done, std::int32_t total) override {
        Touch();
        progress.emplace_back(done, total);
    }
    void HideProgress() override {
        Touch();
        ++hides;
    }

    // Runs `action` at the first pump only, so a nested run does not nest again.
    void AtFirstPump(std::function<void(FakeWindow&)> action) {
        onPump = [action, done = false](FakeWindow& window) mutable {
            if (done) return;
            done = true;
            action(window);
        };
    }

  private:
    void Touch() {
        if (closed) ++touchedAfterClose;
    }
};

const QColor kWhite(255, 255, 255);
const QColor kMarkGreen(0, 200, 0);

class RunBatchTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        root_ = dir_.path().toStdString();
        for (const char* name : {"program", "pictures", "home", "src"})
            fs::create_directory(root_ + "/" + name);
        places_ = {root_ + "/program", root_ + "/pictures", root_ + "/home"};
        outputFolder_ = root_ + "/program/水印生成/";
    }

    // A picture file in the sources folder (or at a path below the root), its format taken
    // from the extension.
    std::string Picture(const std::string& name, QColor colour = kWhite, int width = 320,
                        int height = 240) {
        const std::string path = root_ + "/src/" + name;
        fs::create_directories(fs::path(path).parent_path());
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        EXPECT_TRUE(image.save(QString::fromStdString(path))) << path;
        return path;
    }
    std::string TextFile(const std::string& name, const std::string& text) {
        const std::string path = root_ + "/src/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    std::string Mark() {
        const std::string path = root_ + "/src/mark.png";
        QImage image(200, 200, QImage::Format_ARGB32);
        image.fill(kMarkGreen);
        EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
        return path;
    }

    void Run(FakeWindow& window) { RunBatch(window, places_); }

    std::string Out(const std::string& name) const { return outputFolder_ + name; }
    std::vector<std::string> Outputs() const {
        std::vector<std::string> names;
        if (!fs::is_directory(outputFolder_)) return names;
        for (const auto& entry : fs::directory_iterator(outputFolder_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Outputs hold PNG data whatever their extension says.
    static QImage Decoded(const std::string& path) {
        QImage image;
        image.load(QString::fromStdString(path), "PNG");
        return image.convertToFormat(QImage::Format_RGB32);
    }
    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Pixels of the text's region that are dark: the text watermark was drawn.
    static int DarkPixels(const QImage& image) {
        int dark = 0;
        for (int y = 100; y < image.height(); ++y)
            for (int x = 100; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 100;
        return dark;
    }
    static bool IsMarkGreen(const QImage& image) {
        return QColor(image.pixel(130, 130)) == kMarkGreen;
    }

    QTemporaryDir dir_;
    std::string root_;
    OutputFolderPlaces places_;
    std::string outputFolder_;
};

TEST_F(RunBatchTest, EmptyListMakesTheFolderAndSaysDone) {
    FakeWindow window;
    window.markPath = Mark();
    Run(window);
    EXPECT_TRUE(fs::is_directory(outputFolder_));
    EXPECT_TRUE(Outputs().empty());
    EXPECT_EQ(window.messages, std::vector<Utf8Text>{"完成"});
    EXPECT_EQ(window.markPathReads, 1);
    EXPECT_EQ(window.hides, 1);
}

TEST_F(RunBatchTest, EmptyBoxOfTheChosenWatermarkEndsSilently) {
    struct Case {
        const char* name;
        bool image;
    };
    for (const Case c : {Case{"text", false}, Case{"image", true}}) {
        FakeWindow window;
        window.paths = {Picture("a.png"), Picture("b.png")};
        window.textChecked = !c.image;
        window.imageChecked = c.image;
        window.text = c.image ? "水印" : "";
        window.markPath = "";
        Run(window);
        EXPECT_TRUE(Outputs().empty()) << c.name;
        EXPECT_TRUE(window.messages.empty()) << c.name;
        EXPECT_EQ(window.hides, 1) << c.name;
    }
}

TEST_F(RunBatchTest, MarksEveryRowUnderItsBaseName) {
    FakeWindow window;
    window.paths = {Picture("photo.final.png"), Picture("b.bmp", kWhite, 400, 300)};
    Run(window);
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"b.jpg", "photo.final.jpg"}));
    const QImage first = Decoded(Out("photo.final.jpg"));
    const QImage second = Decoded(Out("b.jpg"));
    EXPECT_EQ(first.size(), QSize(320, 240));
    EXPECT_EQ(second.size(), QSize(400, 300));
    EXPECT_GT(DarkPixels(first), 200);
    EXPECT_EQ(QColor(first.pixel(50, 50)), kWhite);  // above and left of the text
    EXPECT_EQ(window.messages, std::vector<Utf8Text>{"完成"});
    EXPECT_EQ(window.rowCountCalls, 1);
    EXPECT_EQ(window.markPathReads, 1);  // once before the rows; the image radio is unchecked
    EXPECT_EQ(window.progress,
              (std::vector<std::pair<std::int32_t, std::int32_t>>{{0, 2}, {1, 2}, {2, 2}}));
    EXPECT_EQ(window.hides, 1);
    // The last render is what LastResult holds after the run.
    const std::string last = Contents(Out("b.jpg"));
    EXPECT_EQ(LastResult(), ByteBuffer(last.begin(), last.end()));
}

TEST_F(RunBatchTest, ImageWatermarkAtThirtyPercentAtTheGivenCorner) {
    FakeWindow window;
    window.textChecked = false;
    window.imageChecked = true;
    window.markPath = Mark();
    window.paths = {Picture("a.png"), Picture("b.png")};
    Run(window);
    for (const char* name : {"a.jpg", "b.jpg"}) {
        const QImage image = Decoded(Out(name));
        EXPECT_TRUE(IsMarkGreen(image)) << name;                   // inside 100..160
        EXPECT_EQ(QColor(image.pixel(165, 165)), kWhite) << name;  // past 60 x 60
        EXPECT_EQ(QColor(image.pixel(50, 50)), kWhite) << name;
    }
    EXPECT_EQ(window.messages, std::vector<Utf8Text>{"完成"});
    EXPECT_EQ(window.markPathReads, 3);  // once before the rows, then each row's test
}

TEST_F(RunBatchTest, SameBaseNameLaterRowWinsAndIsNamed) {
    FakeWindow window;
    window.paths = {Picture("a/x.png", QColor(255, 0, 0)), Picture("b/x.bmp", QColor(0, 0, 255)),
                    Picture("c/y.png")};
    Run(window);
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"x.jpg", "y.jpg"}));
    EXPECT_EQ(QColor(Decoded(Out("x.jpg")).pixel(5, 5)), QColor(0, 0, 255));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0],
              "完成\n\n1 个输出被本次运行中后面同名的文件覆盖：\n" + Out("x.jpg"));
}

TEST_F(RunBatchTest, ExistingOutputIsOverwritten) {
    fs::create_directories(outputFolder_);
    std::ofstream(Out("a.jpg")) << "an older output";
    FakeWindow window;
    window.paths = {Picture("a.png")};
    Run(window);
    EXPECT_EQ(Decoded(Out("a.jpg")).size(), QSize(320, 240));
    EXPECT_EQ(window.messages, std::vector<Utf8Text>{"完成"});
}

TEST_F(RunBatchTest, RowsWithoutOutputWriteNothingAndAreListed) {
    fs::create_directories(outputFolder_);
    std::ofstream(Out("garbage.jpg")) << "kept";
    FakeWindow window;
    const std::string missing = root_ + "/src/missing.png";
    const std::string garbage = TextFile("garbage.png", "this is no picture");
    const std::string empty = TextFile("empty.png", "");
    window.paths = {Picture("good.png"), missing, garbage, "", empty};
    Run(window);
    // No 0-byte files, ".jpg" for the empty cell included; the older output stays.
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"garbage.jpg", "good.jpg"}));
    EXPECT_EQ(Contents(Out("garbage.jpg")), "kept");
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0],
              "完成\n\n4 个文件没有生成输出：\n第 2 行 " + missing + "：无法读取\n第 3 行 " +
                  garbage + "：不是图片\n第 4 行 （空）：无法读取\n第 5 行 " + empty + "：空文件");
}

TEST_F(RunBatchTest, LongFailureListShowsTwentyLinesAndACount) {
    FakeWindow window;
    for (int i = 0; i < 25; ++i) window.paths.push_back(root_ + "/src/gone" + std::to_string(i));
    Run(window);
    ASSERT_EQ(window.messages.size(), 1u);
    const Utf8Text& message = window.messages[0];
    EXPECT_EQ(message.rfind("完成\n\n25 个文件没有生成输出：\n", 0), 0u);
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 2 + 20 + 1);
    EXPECT_NE(message.find("第 20 行 " + root_ + "/src/gone19：无法读取"), Utf8Text::npos);
    EXPECT_EQ(message.find("第 21 行"), Utf8Text::npos);
    EXPECT_EQ(message.substr(message.rfind('\n') + 1), "……另有 5 个");
}

TEST_F(RunBatchTest, RowDroppedDuringARunIsNotVisited) {
    FakeWindow window;
    window.paths = {Picture("a.png"), Picture("b.png")};
    const std::string late = Picture("late.png");
    window.AtFirstPump([late](FakeWindow& w) { w.WriteListCell(w.AppendListRow(), 1, late); });
    Run(window);
    EXPECT_EQ(window.paths.size(), 3u);
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_EQ(window.rowCountCalls, 1);
    EXPECT_EQ(window.messages, std::vector<Utf8Text>{"完成"});
}

TEST_F(RunBatchTest, SettingsChangedDuringARunApplyFromTheNextRow) {
    {
        FakeWindow window;
        window.markPath = Mark();
        window.paths = {Picture("a.png"), Picture("b.png")};
        window.AtFirstPump([](FakeWindow& w) {
            w.textChecked = false;
            w.imageChecked = true;
        });
        Run(window);
        const QImage first = Decoded(Out("a.jpg"));
        EXPECT_GT(DarkPixels(first), 200);
        EXPECT_FALSE(IsMarkGreen(first));
        EXPECT_TRUE(IsMarkGreen(Decoded(Out("b.jpg"))));
        EXPECT_EQ(window.messages, std::vector<Utf8Text>{"完成"});
    }
    fs::remove_all(outputFolder_);
    {
        // The text box emptied during the run ends it at the next row, silently.
        FakeWindow window;
        window.paths = {Picture("a.png"), Picture("b.png")};
        window.AtFirstPump([](FakeWindow& w) { w.text.clear(); });
        Run(window);
        EXPECT_EQ(Outputs(), std::vector<std::string>{"a.jpg"});
        EXPECT_TRUE(window.messages.empty());
    }
}

TEST_F(RunBatchTest, ClickDuringARunStartsANestedRunThatFinishesFirst) {
    FakeWindow window;
    window.paths = {Picture("a.png"), Picture("b.png")};
    std::size_t messagesWhenNestedReturned = 99;
    window.AtFirstPump([&](FakeWindow& w) {
        RunBatch(w, places_);
        messagesWhenNestedReturned = w.messages.size();
    });
    Run(window);
    EXPECT_EQ(messagesWhenNestedReturned, 1u);
    EXPECT_EQ(window.messages, (std::vector<Utf8Text>{"完成", "完成"}));
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    // The nested run hands the bar back to the outer run instead of hiding it.
    EXPECT_EQ(window.hides, 1);
    EXPECT_EQ(window.progress.back(), (std::pair<std::int32_t, std::int32_t>{2, 2}));
}

TEST_F(RunBatchTest, ClosingTheWindowStopsTheRunAtOnce) {
    FakeWindow window;
    window.paths = {Picture("a.png"), Picture("b.png"), Picture("c.png")};
    window.AtFirstPump([](FakeWindow& w) { w.closed = true; });
    Run(window);
    AwaitRendersInFlight();
    EXPECT_EQ(window.touchedAfterClose, 0);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_FALSE(fs::exists(Out("b.jpg")));
    EXPECT_FALSE(fs::exists(Out("c.jpg")));
}

TEST_F(RunBatchTest, AwaitRendersInFlightWaitsForTheRowUnderWay) {
    FakeWindow window;
    window.paths = {Picture("big.png", kWhite, 3000, 2000)};
    bool outputThereAfterWait = false;
    window.AtFirstPump([&](FakeWindow&) {
        AwaitRendersInFlight();
        outputThereAfterWait = fs::exists(Out("big.jpg"));
    });
    Run(window);
    EXPECT_TRUE(outputThereAfterWait);
}

TEST_F(RunBatchTest, UnusableWatermarkPictureWritesNothingAndSaysSo) {
    const std::string missing = root_ + "/src/no-mark.png";
    const std::string garbage = TextFile("bad-mark.png", "not a picture at all");
    const std::string empty = TextFile("empty-mark.png", "");
    for (const std::string& mark : {missing, garbage, empty}) {
        FakeWindow window;
        window.textChecked = false;
        window.imageChecked = true;
        window.markPath = mark;
        window.paths = {Picture("a.png"), Picture("b.png")};
        Run(window);
        EXPECT_TRUE(Outputs().empty()) << mark;
        ASSERT_EQ(window.messages.size(), 1u) << mark;
        EXPECT_NE(window.messages[0].find(mark), Utf8Text::npos) << window.messages[0];
        EXPECT_EQ(window.messages[0].find("完成"), Utf8Text::npos) << window.messages[0];
    }
}

TEST_F(RunBatchTest, UnwritableProgramFolderFallsBackAndSaysWhere) {
    std::ofstream(root_ + "/program/水印生成") << "a file in the way";
    FakeWindow window;
    window.paths = {Picture("a.png")};
    Run(window);
    const std::string fallback = root_ + "/pictures/水印生成/";
    EXPECT_TRUE(fs::exists(fallback + "a.jpg"));
    EXPECT_EQ(window.messages,
              std::vector<Utf8Text>{"完成\n\n程序所在的文件夹无法写入，输出保存在：" + fallback});
}

TEST_F(RunBatchTest, NeitherRadioCheckedWritesTheLastResult) {
    FakeWindow window;
    window.paths = {Picture("a.png")};
    Run(window);
    const ByteBuffer last = LastResult();
    ASSERT_FALSE(last.empty());

    FakeWindow neither;
    neither.textChecked = false;
    neither.paths = {Picture("z.png")};
    Run(neither);
    const std::string written = Contents(Out("z.jpg"));
    EXPECT_EQ(ByteBuffer(written.begin(), written.end()), last);
    EXPECT_EQ(neither.messages, std::vector<Utf8Text>{"完成"});

    // With nothing rendered since start there is nothing to write: no 0-byte file.
    LastResult().clear();
    fs::remove(Out("z.jpg"));
    Run(neither);
    EXPECT_FALSE(fs::exists(Out("z.jpg")));
    ASSERT_EQ(neither.messages.size(), 2u);
    EXPECT_EQ(neither.messages[1],
              "完成\n\n1 个文件没有生成输出：\n第 1 行 " + neither.paths[0] + "：未选择水印");
}

}  // namespace
}  // namespace zx
