// Runs the built zandolex-cli on real files and reads what it wrote.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>

#include "batch/batch_settings.h"
#include "render/text_watermark.h"

namespace zx {
namespace {

namespace bs = batch_settings;

struct Outcome {
    int exitCode = -1;
    QString err;
};

Outcome RunCli(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    EXPECT_TRUE(process.waitForFinished(120000)) << "zandolex-cli did not finish";
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

class CliRun : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // A copy of the program in a folder of our own, so its output folder is ours too.
        program_ = dir_.filePath("bin/zandolex-cli");
        QDir().mkpath(dir_.filePath("bin"));
        ASSERT_TRUE(QFile::copy(ZX_CLI_PATH, program_));
        QFile::setPermissions(program_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(dir_.filePath("in"));
    }

    QString Picture(const QString& name, QSize size, QColor colour, const char* format) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = dir_.filePath("in/" + name);
        QImageWriter writer(path, format);
        EXPECT_TRUE(writer.write(image)) << path.toStdString();
        return path;
    }

    QString File(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath("in/" + name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    QString Output(const QString& name) const { return dir_.filePath("bin/水印生成/" + name); }

    QTemporaryDir dir_;
    QString program_;
};

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(CliRun, WritesWhatTheWindowsRunWrites) {
    const QString photo = Picture("photo.final.jpg", {400, 300}, QColor(30, 160, 90), "JPEG");
    const QString drawing = Picture("drawing.png", {320, 240}, Qt::white, "PNG");
    const Outcome run = RunCli(program_, {"--text", "水印 Zx", photo, drawing});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();

    for (const QString& source : {photo, drawing}) {
        const QString out = Output(QFileInfo(source).completeBaseName() + ".jpg");
        const QByteArray written = ReadAll(out);
        ASSERT_TRUE(written.startsWith("\x89PNG\r\n\x1a\n")) << out.toStdString();
        // The same renderer call with the window's fixed values gives the same bytes.
        const QByteArray sourceBytes = ReadAll(source);
        const ByteBuffer expected = RenderTextWatermark(
            ByteBuffer(sourceBytes.begin(), sourceBytes.end()), bs::kFaceName, bs::kEmSize,
            bs::kColour, bs::kStyle, bs::kAlpha, bs::kTextRenderingHint, "水印 Zx", bs::kX, bs::kY);
        EXPECT_EQ(ByteBuffer(written.begin(), written.end()), expected) << out.toStdString();
    }
    EXPECT_TRUE(QFile::exists(Output("photo.final.jpg")));
}

TEST_F(CliRun, BadFilesAreReportedAndWriteNothing) {
    const QString good = Picture("good.png", {200, 200}, Qt::white, "PNG");
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImage image(300, 300, QImage::Format_RGB32);
        image.fill(Qt::blue);
        image.save(&buffer, "PNG");
    }
    const QString notPicture = File("notes.jpg", "just some text, not a picture\n");
    const QString truncated = File("cut.png", png.left(60));
    const QString empty = File("empty.png", "");
    const QString missing = dir_.filePath("in/missing.png");
    // An earlier good output of the same name must survive a failed file.
    QDir().mkpath(dir_.filePath("bin/水印生成"));
    QFile keep(Output("cut.jpg"));
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.write("earlier output");
    keep.close();

    const Outcome run =
        RunCli(program_, {"--text", "x", notPicture, truncated, good, empty, missing});
    EXPECT_EQ(run.exitCode, 1);
    const struct {
        QString file, reason;
    } reports[] = {{notPicture, "not a picture"},
                   {truncated, "damaged picture"},
                   {empty, "empty file"},
                   {missing, "cannot read"}};
    for (const auto& r : reports)
        EXPECT_TRUE(run.err.contains(r.file + ": " + r.reason)) << run.err.toStdString();
    // One line per failed file (libpng may add its own complaint about the damaged one).
    EXPECT_EQ(run.err.count("zandolex-cli: "), 4) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(Output("notes.jpg")));
    EXPECT_FALSE(QFile::exists(Output("empty.jpg")));
    EXPECT_FALSE(QFile::exists(Output("missing.jpg")));
    EXPECT_EQ(ReadAll(Output("cut.jpg")), QByteArray("earlier output"));
    EXPECT_TRUE(ReadAll(Output("good.jpg")).startsWith("\x89PNG"));
    // Nothing half-written is left behind in the output folder.
    EXPECT_EQ(QDir(dir_.filePath("bin/水印生成")).entryList(QDir::Files).size(), 2);
}

TEST_F(CliRun, SameNamesEndAsTheLastFileSaysWithSeveralJobs) {
    QStringList files;
    for (int i = 0; i < 8; ++i) {
        QDir().mkpath(dir_.filePath(QString("in/%1").arg(i)));
        // Big first files finish last, so a run that wrote in finishing order would fail.
        files << Picture(QString("%1/x.png").arg(i), {900 - i * 100, 300 + i}, Qt::gray, "PNG");
    }
    const Outcome run = RunCli(program_, QStringList{"--jobs", "3", "--image", files[0]} + files);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QImage out;
    ASSERT_TRUE(out.load(Output("x.jpg"), "PNG"));
    EXPECT_EQ(out.size(), QSize(200, 307));
}

TEST_F(CliRun, OutputDirAndFolderArguments) {
    Picture("a.png", {150, 120}, Qt::red, "PNG");
    Picture("b.bmp", {150, 120}, Qt::green, "BMP");
    const QString target = dir_.filePath("out/deeper");
    const Outcome run =
        RunCli(program_, {"--text", "x", "--output-dir", target, dir_.filePath("in")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(QFile::exists(target + "/a.jpg"));
    EXPECT_TRUE(QFile::exists(target + "/b.jpg"));
    EXPECT_FALSE(QFile::exists(Output("a.jpg")));
}

TEST_F(CliRun, UnusableWatermarkOrFontWritesNothing) {
    const QString good = Picture("good.png", {200, 200}, Qt::white, "PNG");
    const QString notPicture = File("wm.png", "not a picture");
    for (const QString& mark : {notPicture, dir_.filePath("in/none.png")}) {
        const Outcome run = RunCli(program_, {"--image", mark, good});
        EXPECT_EQ(run.exitCode, 1) << mark.toStdString();
        EXPECT_TRUE(run.err.contains("nothing written")) << run.err.toStdString();
    }
    const Outcome noFont = RunCli(program_, {"--text", "x", "--font", "No Such Face 12345", good});
    EXPECT_EQ(noFont.exitCode, 1);
    EXPECT_TRUE(noFont.err.contains("nothing written")) << noFont.err.toStdString();
    EXPECT_FALSE(QFile::exists(Output("good.jpg")));
    EXPECT_EQ(RunCli(program_, {"--text", "x"}).exitCode, 2);
    EXPECT_EQ(RunCli(program_, {"--mode", "12", "--image", good, good}).exitCode, 2);
}

}  // namespace
}  // namespace zx
