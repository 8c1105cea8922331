#pragma once
// The command line of zandolex-cli, parsed into the values the renderers take.

#include <QStringList>
#include <cstdint>
#include <vector>

#include "platform/bytes.h"

namespace zx::cli {

struct Options {
    bool imageWatermark = false;  // --image rather than --text
    Utf8Text text;                // --text
    Utf8Text watermarkPath;       // --image
    Utf8Text outputDir;           // empty: the window's output folder
    Utf8Text face;
    std::int32_t emSize = 0;
    std::int32_t colour = 0;  // 0x00BBGGRR, as the renderer takes it
    std::int32_t alpha = 0;
    std::int32_t style = 0;
    std::int32_t hint = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t mode = 0;
    std::int32_t scale = 0;
    std::int32_t repetitions = 0;
    std::int32_t rotateFlip = 0;
    int jobs = 1;
    std::vector<Utf8Text> files;  // as given; folders are expanded later
};

struct ParseResult {
    enum Outcome { Run, ShowHelp, ShowVersion, UsageError } outcome = UsageError;
    Options options;
    QString message;  // the error for UsageError, the text for ShowHelp / ShowVersion
};

// Every option not given takes the value the window's run uses.
ParseResult ParseOptions(const QStringList& arguments);

// "RRGGBB" (hex, red first) to the renderer's 0x00BBGGRR; false when it is not six hex digits.
bool ParseColour(const QString& text, std::int32_t& colour);

// "bold,italic" to the sum of the font style values; false for an unknown name.
bool ParseStyle(const QString& text, std::int32_t& style);

// The files to mark: each folder among `given` stands for the files directly inside it, in
// name order; everything else stays as given (a missing file is reported when it is read).
std::vector<Utf8Text> ExpandFolders(const std::vector<Utf8Text>& given);

}  // namespace zx::cli
