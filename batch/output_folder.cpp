#include "batch/output_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QStandardPaths>
#include <QString>
#include <climits>

#include "batch/file_names.h"

namespace zx {

namespace {

Utf8Text FindProgramFolder() {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) {
        // No /proc: Qt finds the executable from argv[0] and the search path instead.
        if (QCoreApplication::instance() == nullptr) return {};
        const Utf8Text folder = QCoreApplication::applicationDirPath().toStdString();
        return folder == "/" ? Utf8Text() : folder;
    }
    const Utf8Text exe(buffer, static_cast<std::size_t>(n));
    const std::size_t slash = exe.rfind('/');
    return slash == Utf8Text::npos ? Utf8Text() : exe.substr(0, slash);
}

Utf8Text WithoutTrailingSlashes(Utf8Text folder) {
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder;
}

bool IsDirectory(const Utf8Text& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The folder exists (made when missing) and new files can be created in it.
bool CanTakeOutputs(const Utf8Text& folder) {
    return EnsureFolderPath(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

const Utf8Text& ProgramFolder() {
    static const Utf8Text folder = FindProgramFolder();
    return folder;
}

OutputFolderPlaces CurrentOutputFolderPlaces() {
    OutputFolderPlaces places;
    places.programFolder = ProgramFolder();
    // An unset XDG pictures folder resolves to ~/Pictures; it is used only where it exists,
    // so the fallback never creates a Pictures folder the user did not have.
    const Utf8Text pictures =
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation).toStdString();
    if (IsDirectory(pictures)) places.picturesFolder = WithoutTrailingSlashes(pictures);
    places.homeFolder = WithoutTrailingSlashes(
        QStandardPaths::writableLocation(QStandardPaths::HomeLocation).toStdString());
    return places;
}

OutputFolderChoice ChooseOutputFolder(const OutputFolderPlaces& places) {
    const Utf8Text preferred = places.programFolder + OutputFolderSuffix();
    if (CanTakeOutputs(preferred)) return {preferred, false};
    for (const Utf8Text* base : {&places.picturesFolder, &places.homeFolder}) {
        const Utf8Text folder = WithoutTrailingSlashes(*base);
        if (folder.empty()) continue;
        const Utf8Text candidate = folder + OutputFolderSuffix();
        if (CanTakeOutputs(candidate)) return {candidate, true};
    }
    return {preferred, false};
}

OutputFolderChoice ChooseOutputFolder() {
    return ChooseOutputFolder(CurrentOutputFolderPlaces());
}

}  // namespace zx
