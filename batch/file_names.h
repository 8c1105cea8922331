#pragma once
// Where outputs go and what they are called. Paths are UTF-8 bytes with "/" as separator;
// the byte-wise rules below are safe on UTF-8 because no continuation byte is "/", "." or " ".

#include "platform/bytes.h"

namespace zx {

// "/水印生成/": the output folder's name between two separators, appended to a folder that
// has no trailing "/".
const Utf8Text& OutputFolderSuffix();

// The file-name part of `path` without its last extension: "/pics/photo.final.png" gives
// "photo.final". The name starts after the last "/" that is followed by something other than
// "/"; a name ending in "/" gives "". The extension is the last "." with no " " or "/" after
// it, up to the end.
Utf8Text FileBaseName(const Utf8Text& path);

// Creates every folder along `path`, parent first (mode 0777, the umask applies), and says
// whether `path` is a directory afterwards. Nothing before the first "/" is created on its
// own; a path of fewer than 3 characters creates nothing; failures along the way are not
// reported. A path holding a NUL byte creates nothing and gives false.
bool EnsureFolderPath(const Utf8Text& path);

// The output file for a source: `outputFolder` (ending in "/") + FileBaseName(source) + ".jpg".
// The content is PNG data whatever the extension says.
Utf8Text OutputFilePath(const Utf8Text& outputFolder, const Utf8Text& sourcePath);

}  // namespace zx
