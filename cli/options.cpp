#include "cli/options.h"

#include <QCommandLineParser>
#include <algorithm>
#include <filesystem>
#include <thread>

#include "batch/batch_settings.h"
#include "platform/gdiplus.h"

namespace zx::cli {
namespace {

namespace bs = batch_settings;

// An integer option within [lo, hi]; sets `error` when the value is malformed or out of range.
bool ReadInt(const QCommandLineParser& parser, const QString& name, std::int64_t lo,
             std::int64_t hi, std::int32_t& value, QString& error) {
    if (!parser.isSet(name)) return true;
    bool ok = false;
    const qlonglong parsed = parser.value(name).toLongLong(&ok);
    if (!ok || parsed < lo || parsed > hi) {
        error = QStringLiteral("--%1 takes a whole number from %2 to %3, not \"%4\"")
                    .arg(name)
                    .arg(lo)
                    .arg(hi)
                    .arg(parser.value(name));
        return false;
    }
    value = static_cast<std::int32_t>(parsed);
    return true;
}

}  // namespace

bool ParseColour(const QString& text, std::int32_t& colour) {
    QString hex = text.startsWith('#') ? text.mid(1) : text;
    if (hex.size() != 6) return false;
    bool ok = false;
    const uint rgb = hex.toUInt(&ok, 16);
    if (!ok) return false;
    const uint red = (rgb >> 16) & 0xFF, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
    colour = static_cast<std::int32_t>(red | (green << 8) | (blue << 16));
    return true;
}

bool ParseStyle(const QString& text, std::int32_t& style) {
    style = FontStyleRegular;
    for (const QString& part : text.split(',', Qt::SkipEmptyParts)) {
        const QString name = part.trimmed().toLower();
        if (name == "regular") continue;
        if (name == "bold")
            style |= FontStyleBold;
        else if (name == "italic")
            style |= FontStyleItalic;
        else if (name == "underline")
            style |= FontStyleUnderline;
        else if (name == "strikeout")
            style |= FontStyleStrikeout;
        else
            return false;
    }
    return true;
}

ParseResult ParseOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Puts a text or picture watermark on every FILE and writes each result as\n"
        "<output folder>/<file name without extension>.jpg (PNG data). A folder among the\n"
        "FILEs stands for the files directly inside it. Every option not given takes the\n"
        "value the window uses."));
    const int defaultJobs = std::max(1u, std::thread::hardware_concurrency());
    const auto number = [](int v) { return QString::number(v); };
    parser.addOptions({
        {"text", "The watermark text.", "TEXT"},
        {"image", "The watermark picture.", "PATH"},
        {"output-dir", "Where outputs go (default: 水印生成 beside the program).", "DIR"},
        {"font", QStringLiteral("Font face (default: %1).").arg(QString::fromUtf8(bs::kFaceName)),
         "FACE"},
        {"size", "Em size in pixels (default: " + number(bs::kEmSize) + ").", "PX"},
        {"color", "Text colour, hex red first (default: 000000).", "RRGGBB"},
        {"alpha", "Text opacity 0-255 (default: " + number(bs::kAlpha) + ").", "0-255"},
        {"style", "regular, bold, italic, underline, strikeout, comma-separated.", "STYLE"},
        {"hint", "Text rendering hint, -1 to 5 (default: 0).", "N"},
        {"x", "Left of the text or the watermark (default: " + number(bs::kX) + ").", "N"},
        {"y", "Top of the text or the watermark (default: " + number(bs::kY) + ").", "N"},
        {"mode",
         "Watermark placement: 0 at x,y; 1-9 anchors clockwise from top-left, 9 "
         "centre; 10 random anchors (default: 0).",
         "0-10"},
        {"scale",
         "Watermark size in percent, never enlarged (default: " + number(bs::kScalePercent) + ").",
         "P"},
        {"repeat", "Copies in mode 10, 1-9 (default: " + number(bs::kRepetitions) + ").", "N"},
        {"rotate-flip", "Turn or mirror the watermark, 0-7 (default: 0).", "0-7"},
        {"jobs", "Files marked at once (default: " + number(defaultJobs) + ").", "N"},
    });
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument("FILE", "Pictures, or folders of pictures.", "FILE...");

    ParseResult result;
    if (!parser.parse(arguments)) {
        result.message = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.outcome = ParseResult::ShowHelp;
        result.message = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.outcome = ParseResult::ShowVersion;
        result.message = QStringLiteral("zandolex-cli 1.0.0");
        return result;
    }

    Options& o = result.options;
    const bool text = parser.isSet("text"), image = parser.isSet("image");
    if (text == image) {
        result.message = QStringLiteral("give exactly one of --text and --image");
        return result;
    }
    o.imageWatermark = image;
    o.text = parser.value("text").toStdString();
    o.watermarkPath = parser.value("image").toStdString();
    if (text && o.text.empty()) {
        result.message = QStringLiteral("--text needs a text");
        return result;
    }
    if (image && o.watermarkPath.empty()) {
        result.message = QStringLiteral("--image needs a path");
        return result;
    }
    o.outputDir = parser.value("output-dir").toStdString();
    o.face = parser.isSet("font") ? parser.value("font").toStdString() : bs::kFaceName;
    o.emSize = bs::kEmSize;
    o.colour = bs::kColour;
    o.alpha = bs::kAlpha;
    o.style = bs::kStyle;
    o.hint = bs::kTextRenderingHint;
    o.x = bs::kX;
    o.y = bs::kY;
    o.mode = bs::kMode;
    o.scale = bs::kScalePercent;
    o.repetitions = bs::kRepetitions;
    o.rotateFlip = bs::kRotateFlip;
    o.jobs = defaultJobs;
    if (parser.isSet("font") && o.face.empty()) {
        result.message = QStringLiteral("--font needs a face name");
        return result;
    }
    if (parser.isSet("color") && !ParseColour(parser.value("color"), o.colour)) {
        result.message = QStringLiteral("--color takes six hex digits RRGGBB, not \"%1\"")
                             .arg(parser.value("color"));
        return result;
    }
    if (parser.isSet("style") && !ParseStyle(parser.value("style"), o.style)) {
        result.message =
            QStringLiteral(
                "--style takes regular, bold, italic, underline or strikeout, not \"%1\"")
                .arg(parser.value("style"));
        return result;
    }
    constexpr std::int64_t kCoordinate = 1'000'000'000;
    std::int32_t jobs = o.jobs;
    QString& error = result.message;
    if (!ReadInt(parser, "size", 1, 10000, o.emSize, error) ||
        !ReadInt(parser, "alpha", 0, 255, o.alpha, error) ||
        !ReadInt(parser, "hint", -1, 5, o.hint, error) ||
        !ReadInt(parser, "x", -kCoordinate, kCoordinate, o.x, error) ||
        !ReadInt(parser, "y", -kCoordinate, kCoordinate, o.y, error) ||
        !ReadInt(parser, "mode", 0, 10, o.mode, error) ||
        !ReadInt(parser, "scale", 0, 100000, o.scale, error) ||
        !ReadInt(parser, "repeat", 0, 1000, o.repetitions, error) ||
        !ReadInt(parser, "rotate-flip", 0, 7, o.rotateFlip, error) ||
        !ReadInt(parser, "jobs", 1, 256, jobs, error))
        return result;
    o.jobs = jobs;

    for (const QString& file : parser.positionalArguments()) o.files.push_back(file.toStdString());
    if (o.files.empty()) {
        result.message = QStringLiteral("no FILE given");
        return result;
    }
    result.outcome = ParseResult::Run;
    return result;
}

std::vector<Utf8Text> ExpandFolders(const std::vector<Utf8Text>& given) {
    namespace fs = std::filesystem;
    std::vector<Utf8Text> files;
    for (const Utf8Text& path : given) {
        std::error_code ec;
        if (!fs::is_directory(path, ec)) {
            files.push_back(path);
            continue;
        }
        std::vector<Utf8Text> inside;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec)) inside.push_back(it->path().string());
        std::sort(inside.begin(), inside.end());
        files.insert(files.end(), inside.begin(), inside.end());
    }
    return files;
}

}  // namespace zx::cli
