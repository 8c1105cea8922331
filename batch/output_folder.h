#pragma once
// The program folder and the output folder that both front ends write into.

#include "platform/bytes.h"

namespace zx {

// The folder that holds the running executable, without a trailing "/": "/opt/zandolex/bin",
// or "" for an executable in "/". Found once, at the first call.
const Utf8Text& ProgramFolder();

// The places the output folder may go, in order of preference. Each is a folder without a
// trailing "/"; an empty pictures or home folder is skipped.
struct OutputFolderPlaces {
    Utf8Text programFolder;
    Utf8Text picturesFolder;
    Utf8Text homeFolder;
};

// ProgramFolder(), the user's pictures folder (XDG) when it exists, and the home folder.
OutputFolderPlaces CurrentOutputFolderPlaces();

struct OutputFolderChoice {
    Utf8Text folder;        // ends in "/"
    bool fallback = false;  // true when the program folder could not take the outputs
};

// Makes programFolder + OutputFolderSuffix() and takes it when it is a writable folder.
// Otherwise "水印生成" inside the pictures folder, else inside the home folder (made when
// missing). When none works the program folder's choice is returned all the same, and the
// writes into it fail and are reported one by one.
OutputFolderChoice ChooseOutputFolder(const OutputFolderPlaces& places);
OutputFolderChoice ChooseOutputFolder();

}  // namespace zx
