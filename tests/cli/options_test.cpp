#include "cli/options.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "batch/batch_settings.h"

namespace zx::cli {
namespace {

namespace bs = batch_settings;

ParseResult Parse(QStringList args) {
    args.prepend("zandolex-cli");
    return ParseOptions(args);
}

TEST(CliOptions, DefaultsAreTheWindowsValues) {
    const ParseResult text = Parse({"--text", "水印", "a.png"});
    ASSERT_EQ(text.outcome, ParseResult::Run) << text.message.toStdString();
    const Options& o = text.options;
    EXPECT_FALSE(o.imageWatermark);
    EXPECT_EQ(o.text, "水印");
    EXPECT_EQ(o.face, bs::kFaceName);
    EXPECT_EQ(o.emSize, bs::kEmSize);
    EXPECT_EQ(o.colour, bs::kColour);
    EXPECT_EQ(o.alpha, bs::kAlpha);
    EXPECT_EQ(o.style, bs::kStyle);
    EXPECT_EQ(o.hint, bs::kTextRenderingHint);
    EXPECT_EQ(o.x, bs::kX);
    EXPECT_EQ(o.y, bs::kY);
    EXPECT_EQ(o.mode, bs::kMode);
    EXPECT_EQ(o.scale, bs::kScalePercent);
    EXPECT_EQ(o.repetitions, bs::kRepetitions);
    EXPECT_EQ(o.rotateFlip, bs::kRotateFlip);
    EXPECT_TRUE(o.outputDir.empty());
    EXPECT_EQ(o.files, std::vector<Utf8Text>{"a.png"});
}

TEST(CliOptions, ValuesAreTakenAsGiven) {
    const ParseResult r = Parse({"--image",
                                 "wm.png",
                                 "--output-dir",
                                 "/tmp/o",
                                 "--color",
                                 "FF8000",
                                 "--alpha",
                                 "7",
                                 "--style",
                                 "bold,underline",
                                 "--x=-20",
                                 "--y",
                                 "5000",
                                 "--mode",
                                 "10",
                                 "--scale",
                                 "150",
                                 "--repeat",
                                 "3",
                                 "--rotate-flip",
                                 "5",
                                 "--jobs",
                                 "3",
                                 "--font",
                                 "Noto Sans",
                                 "--size",
                                 "48",
                                 "--hint",
                                 "-1",
                                 "a.png",
                                 "b.jpg"});
    ASSERT_EQ(r.outcome, ParseResult::Run) << r.message.toStdString();
    const Options& o = r.options;
    EXPECT_TRUE(o.imageWatermark);
    EXPECT_EQ(o.watermarkPath, "wm.png");
    EXPECT_EQ(o.outputDir, "/tmp/o");
    EXPECT_EQ(o.colour, 0x0080FF);  // 0x00BBGGRR
    EXPECT_EQ(o.alpha, 7);
    EXPECT_EQ(o.style, 1 + 4);
    EXPECT_EQ(o.x, -20);
    EXPECT_EQ(o.y, 5000);
    EXPECT_EQ(o.mode, 10);
    EXPECT_EQ(o.scale, 150);
    EXPECT_EQ(o.repetitions, 3);
    EXPECT_EQ(o.rotateFlip, 5);
    EXPECT_EQ(o.jobs, 3);
    EXPECT_EQ(o.face, "Noto Sans");
    EXPECT_EQ(o.emSize, 48);
    EXPECT_EQ(o.hint, -1);
    EXPECT_EQ(o.files, (std::vector<Utf8Text>{"a.png", "b.jpg"}));
}

TEST(CliOptions, UsageErrors) {
    const QStringList cases[] = {
        {"a.png"},                                     // neither --text nor --image
        {"--text", "x", "--image", "w.png", "a.png"},  // both
        {"--text", "", "a.png"},
        {"--text", "x"},  // no file
        {"--text", "x", "--color", "red", "a.png"},
        {"--text", "x", "--color", "12345", "a.png"},
        {"--text", "x", "--alpha", "256", "a.png"},
        {"--text", "x", "--mode", "11", "a.png"},
        {"--text", "x", "--rotate-flip", "8", "a.png"},
        {"--text", "x", "--jobs", "0", "a.png"},
        {"--text", "x", "--size", "abc", "a.png"},
        {"--text", "x", "--style", "bold,shiny", "a.png"},
        {"--text", "x", "--no-such-option", "a.png"},
    };
    for (const QStringList& args : cases) {
        const ParseResult r = Parse(args);
        EXPECT_EQ(r.outcome, ParseResult::UsageError) << args.join(' ').toStdString();
        EXPECT_FALSE(r.message.isEmpty()) << args.join(' ').toStdString();
    }
    EXPECT_EQ(Parse({"--help"}).outcome, ParseResult::ShowHelp);
    EXPECT_EQ(Parse({"--version"}).outcome, ParseResult::ShowVersion);
}

TEST(CliOptions, ColourAndStyleTables) {
    const struct {
        const char* text;
        bool ok;
        std::int32_t colour;
    } colours[] = {{"000000", true, 0},        {"FF0000", true, 0x0000FF},
                   {"0000ff", true, 0xFF0000}, {"#00FF00", true, 0x00FF00},
                   {"GG0000", false, 0},       {"FFF", false, 0}};
    for (const auto& c : colours) {
        std::int32_t colour = -1;
        EXPECT_EQ(ParseColour(c.text, colour), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(colour, c.colour) << c.text;
        }
    }
    std::int32_t style = -1;
    EXPECT_TRUE(ParseStyle("regular", style));
    EXPECT_EQ(style, 0);
    EXPECT_TRUE(ParseStyle("Bold, Italic,strikeout", style));
    EXPECT_EQ(style, 1 + 2 + 8);
}

TEST(CliOptions, FoldersStandForTheFilesDirectlyInside) {
    QTemporaryDir dir;
    const QString root = dir.path();
    QDir(root).mkpath("pics/nested");
    for (const char* name : {"pics/b.png", "pics/a.jpg", "pics/c", "pics/nested/deep.png"}) {
        QFile file(root + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const Utf8Text pics = (root + "/pics").toStdString();
    const std::vector<Utf8Text> files = ExpandFolders({"/missing.png", pics});
    EXPECT_EQ(files, (std::vector<Utf8Text>{"/missing.png", pics + "/a.jpg", pics + "/b.png",
                                            pics + "/c"}));
}

}  // namespace
}  // namespace zx::cli
