#include "batch/file_names.h"

#include <sys/stat.h>

#include <cstddef>

namespace zx {

const Utf8Text& OutputFolderSuffix() {
    static const Utf8Text suffix = "/水印生成/";
    return suffix;
}

namespace {

// Where the file-name part begins: just after the last "/" that something other than "/"
// follows; 0 when there is none.
std::size_t FileNameStart(const Utf8Text& path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        if (path[i] == '/' && path[i + 1] != '/') start = i + 1;
    }
    return start;
}

// Where the extension of `name` begins: the last "." with no " " or "/" after it; the end of
// the name when there is none.
std::size_t ExtensionStart(const Utf8Text& name) {
    std::size_t dot = name.size();
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '.') {
            dot = i;
        } else if (name[i] == ' ' || name[i] == '/') {
            dot = name.size();
        }
    }
    return dot;
}

// Characters, not bytes: UTF-8 continuation bytes (10xxxxxx) start none.
std::size_t CharacterCount(const Utf8Text& text) {
    std::size_t count = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++count;
    }
    return count;
}

bool IsDirectory(const Utf8Text& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

Utf8Text FileBaseName(const Utf8Text& path) {
    const Utf8Text name = path.substr(FileNameStart(path));
    if (name.empty() || name.back() == '/') return {};
    return name.substr(0, ExtensionStart(name));
}

bool EnsureFolderPath(const Utf8Text& path) {
    // A NUL inside would make every call below act on a shorter path than the one asked for.
    if (path.empty() || path.find('\0') != Utf8Text::npos) return false;
    if (CharacterCount(path) >= 3) {
        // Parent first: every "/" after the first creates the prefix before it, and the whole
        // path is created once more at the end. Each failure (it exists, a parent is missing,
        // a file is in the way) is ignored; the final test decides.
        int separators = 0;
        for (std::size_t i = 0; i < path.size(); ++i) {
            if (path[i] != '/') continue;
            if (separators > 0) ::mkdir(path.substr(0, i).c_str(), 0777);
            ++separators;
        }
        ::mkdir(path.c_str(), 0777);
    }
    return IsDirectory(path);
}

Utf8Text OutputFilePath(const Utf8Text& outputFolder, const Utf8Text& sourcePath) {
    return outputFolder + FileBaseName(sourcePath) + ".jpg";
}

}  // namespace zx
