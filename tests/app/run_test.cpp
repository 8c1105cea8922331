// The batch run through the real window: its buttons, its boxes, its list and its messages.

#include <gtest/gtest.h>

#include <QApplication>

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <filesystem>
#include <memory>

#include "app/file_drop.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "batch/output_folder.h"
#include "batch/run_batch.h"
#include "platform/gdiplus.h"
#include "tests/app/app_test_support.h"

namespace zx {
namespace {

const QString kSamples = QStringLiteral(ZX_SAMPLES_DIR);

class RunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.reset();  // one window at a time, as in the program
        ASSERT_TRUE(sources.isValid());
        window = std::make_unique<MainWindow>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // Sources get names of their own, so outputs in the shared program folder are ours.
        prefix = QStringLiteral("zx-app-run-%1-").arg(QCoreApplication::applicationPid());
    }

    void TearDown() override {
        for (const QString& output : outputs) QFile::remove(output);
    }

    // A copy of a sample picture under a name of this test; its output in the program folder
    // is removed when the test ends.
    QString Source(const QString& sample, const QString& name) {
        const QString path = sources.filePath(prefix + name);
        EXPECT_TRUE(QFile::copy(kSamples + "/" + sample, path));
        outputs << ProgramOutput(name);
        return path;
    }

    QString ProgramOutput(const QString& name) const {
        return QString::fromStdString(ProgramFolder()) + "/水印生成/" + prefix +
               QFileInfo(name).completeBaseName() + ".jpg";
    }

    void List(const QStringList& paths) {
        std::vector<Utf8Text> texts;
        for (const QString& path : paths) texts.push_back(path.toStdString());
        OnFilesDropped(window->Operations(), BuildDroppedFilesText(texts));
    }

    template <class Widget = QWidget>
    Widget* Control(const char* name) {
        return window->findChild<Widget*>(QString::fromUtf8(name));
    }

    void Click(const char* button) { QTest::mouseClick(Control(button), Qt::LeftButton); }

    QTemporaryDir sources;
    std::unique_ptr<MainWindow> window;
    QString prefix;
    QStringList outputs;
};

// Size of the picture a file decodes to; invalid when it is no PNG.
QSize DecodedPngSize(const QString& path) {
    QImage image;
    if (!image.load(path, "PNG")) return {};
    return image.size();
}

TEST_F(RunTest, EmptyListMakesTheFolderAndSaysDone) {
    QTemporaryDir program;
    test::MessageCatcher catcher;
    RunBatch(window->Operations(), OutputFolderPlaces{program.path().toStdString(), "", ""});
    const QDir output(program.path() + "/水印生成");
    EXPECT_TRUE(output.exists());
    EXPECT_TRUE(output.entryList(QDir::Files | QDir::Hidden).isEmpty());
    ASSERT_EQ(catcher.Messages().size(), 1u);
    EXPECT_EQ(catcher.Messages()[0].text, QStringLiteral("完成"));
    EXPECT_FALSE(Control("进度条1")->isVisible());
}

TEST_F(RunTest, EitherButtonMarksEveryListedPicture) {
    struct Case {
        const char* button;
        const char* radio;
        const char* box;
        QString boxText;
    };
    const Case cases[] = {
        {"按钮1", "单选框1", "编辑框1", QStringLiteral("水印 Zandolex")},
        {"按钮2", "单选框2", "编辑框2", kSamples + "/mark.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        SetUp();
        const QString png = Source("dusk.png", QStringLiteral("dusk-%1.png").arg(c.button));
        const QString jpg = Source("meadow.jpg", QStringLiteral("meadow-%1.jpg").arg(c.button));
        List({png, jpg});
        Control<QRadioButton>(c.radio)->click();
        Control<QLineEdit>(c.box)->insert(c.boxText);
        test::MessageCatcher catcher;
        Click(c.button);
        ASSERT_EQ(catcher.Messages().size(), 1u);
        EXPECT_EQ(catcher.Messages()[0].text, QStringLiteral("完成"));
        const QString pngOut = outputs[outputs.size() - 2];
        const QString jpgOut = outputs[outputs.size() - 1];
        EXPECT_EQ(DecodedPngSize(pngOut), QImage(png).size());
        EXPECT_EQ(DecodedPngSize(jpgOut), QImage(jpg).size());
        // The mark changed the picture: the output is not the source re-encoded.
        EXPECT_NE(QImage(pngOut).convertToFormat(QImage::Format_ARGB32),
                  QImage(png).convertToFormat(QImage::Format_ARGB32));
        EXPECT_FALSE(Control("进度条1")->isVisible());
    }
}

TEST_F(RunTest, EmptyBoxOfTheChosenWatermarkWritesNothingAndSaysNothing) {
    for (const char* radio : {"单选框1", "单选框2"}) {
        SCOPED_TRACE(radio);
        SetUp();
        List({Source("dusk.png", QStringLiteral("empty-box-%1.png").arg(radio))});
        Control<QRadioButton>(radio)->click();
        test::MessageCatcher catcher;
        Click("按钮1");
        EXPECT_TRUE(catcher.Messages().empty());
        EXPECT_FALSE(QFile::exists(outputs.back()));
        EXPECT_FALSE(Control("进度条1")->isVisible());
    }
}

TEST_F(RunTest, ClosingTheWindowDuringARunStopsIt) {
    QStringList rows;
    for (int i = 0; i < 6; ++i) rows << Source("meadow.jpg", QStringLiteral("close-%1.jpg").arg(i));
    List(rows);
    Control<QLineEdit>("编辑框1")->insert(QStringLiteral("水印"));
    test::MessageCatcher catcher;
    // As in the program: the click comes from the main loop, which ends when the last window
    // closes; Esc arrives while the run lets the first row's events through.
    QApplication::setQuitOnLastWindowClosed(true);
    bool runReturned = false;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [this] { QTest::keyClick(window->List(), Qt::Key_Escape); });
        Click("按钮1");
        runReturned = true;
    });
    // Should the loop not end, this ends it with a failing code instead of hanging.
    QTimer::singleShot(60000, [] { QCoreApplication::exit(1); });
    const int exitCode = QCoreApplication::exec();
    QApplication::setQuitOnLastWindowClosed(false);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(runReturned);
    EXPECT_TRUE(window->Closed());
    EXPECT_FALSE(GdiplusSessionOpen());
    EXPECT_TRUE(catcher.Messages().empty());
    // At most the row whose render was under way was finished; the rest were not visited.
    int written = 0;
    for (const QString& output : outputs) written += QFile::exists(output) ? 1 : 0;
    EXPECT_LE(written, 1);
    // The window's controls were left as they were.
    EXPECT_EQ(window->List()->rowCount(), 6);
}

TEST_F(RunTest, DropAndNestedRunWhileARunPumpsEvents) {
    const QString a = Source("dusk.png", "nested-a.png");
    const QString b = Source("dusk.png", "nested-b.png");
    const QString c = Source("meadow.jpg", "nested-c.jpg");
    List({a, b});
    Control<QLineEdit>("编辑框1")->insert(QStringLiteral("水印"));
    std::int32_t rowsSeenByNestedRun = -1;
    QTimer::singleShot(0, [&] {
        // A real drop through the window's routing, then a click that starts a nested run.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(c)});
        QWindow* handle = window->windowHandle();
        const QPoint at = window->List()->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(handle, &drop);
        rowsSeenByNestedRun = window->Operations().ListRowCount();
        QTest::mouseClick(Control("按钮2"), Qt::LeftButton);
    });
    test::MessageCatcher catcher;
    Click("按钮1");
    EXPECT_EQ(rowsSeenByNestedRun, 3);
    ASSERT_EQ(catcher.Messages().size(), 2u);  // the nested run's, then the first run's
    EXPECT_EQ(catcher.Messages()[0].text, QStringLiteral("完成"));
    EXPECT_EQ(catcher.Messages()[1].text, QStringLiteral("完成"));
    for (const QString& output : outputs)
        EXPECT_TRUE(QFile::exists(output)) << output.toStdString();
    EXPECT_FALSE(Control("进度条1")->isVisible());
}

TEST_F(RunTest, SettingsChangedDuringARunTakeEffectFromTheNextRow) {
    const QString first = Source("dusk.png", "settings-first.png");
    const QString second = Source("dusk.png", "settings-second.png");
    List({first, second});
    Control<QLineEdit>("编辑框1")->insert(QStringLiteral("水印"));
    // While the first row renders, the user picks the image watermark with 编辑框2 empty:
    // the second row ends the run, silently.
    QTimer::singleShot(0, [this] { QTest::mouseClick(Control("单选框2"), Qt::LeftButton); });
    test::MessageCatcher catcher;
    Click("按钮1");
    EXPECT_TRUE(Control<QRadioButton>("单选框2")->isChecked());
    EXPECT_TRUE(catcher.Messages().empty());
    EXPECT_TRUE(DecodedPngSize(outputs[0]).isValid());
    EXPECT_FALSE(QFile::exists(outputs[1]));
    EXPECT_FALSE(Control("进度条1")->isVisible());
}

TEST_F(RunTest, SourceWhoseNameIsNotUtf8IsMarked) {
    // "测试" in GBK bytes: the row keeps the bytes, so the file opens and its output is named
    // with the same bytes.
    const std::string base = prefix.toStdString() + "\xB2\xE2\xCA\xD4";
    const std::string source = sources.path().toStdString() + "/" + base + ".png";
    std::filesystem::copy_file((kSamples + "/dusk.png").toStdString(), source);
    const std::filesystem::path output = ProgramFolder() + "/水印生成/" + base + ".jpg";
    OnFilesDropped(window->Operations(), source);
    EXPECT_EQ(window->Operations().ReadListCell(0, 1), source);
    Control<QLineEdit>("编辑框1")->insert(QStringLiteral("水印"));
    test::MessageCatcher catcher;
    Click("按钮1");
    ASSERT_EQ(catcher.Messages().size(), 1u);
    EXPECT_EQ(catcher.Messages()[0].text, QStringLiteral("完成"));
    EXPECT_TRUE(std::filesystem::is_regular_file(output));
    std::error_code ignored;
    std::filesystem::remove(output, ignored);
}

TEST_F(RunTest, RelativeWatermarkPathIsReadFromTheProgramFolder) {
    // Started from elsewhere, the program makes its own folder current.
    QDir::setCurrent(QDir::tempPath());
    EXPECT_EQ(PrepareProcess(), ProgramFolder());
    EXPECT_EQ(QDir::currentPath().toStdString(), ProgramFolder());

    const QString mark = prefix + "mark.png";
    const QString markInProgramFolder = QString::fromStdString(ProgramFolder()) + "/" + mark;
    ASSERT_TRUE(QFile::copy(kSamples + "/mark.png", markInProgramFolder));
    List({Source("dusk.png", "relative-mark.png")});
    Control<QRadioButton>("单选框2")->click();
    Control<QLineEdit>("编辑框2")->insert(mark);  // a bare file name
    test::MessageCatcher catcher;
    Click("按钮2");
    QFile::remove(markInProgramFolder);
    ASSERT_EQ(catcher.Messages().size(), 1u);
    EXPECT_EQ(catcher.Messages()[0].text, QStringLiteral("完成"));
    EXPECT_TRUE(DecodedPngSize(outputs.back()).isValid());
}

}  // namespace
}  // namespace zx
