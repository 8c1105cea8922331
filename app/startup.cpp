#include "app/startup.h"

#include <QDir>
#include <QString>
#include <QTableWidget>
#include <cstdlib>

#include "app/file_drop.h"
#include "app/main_window.h"
#include "batch/output_folder.h"
#include "batch/run_batch.h"
#include "platform/gdiplus.h"

namespace zx {

std::uintptr_t& GdiplusToken() {
    static std::uintptr_t token = 0;
    return token;
}

void FreeLastResultAtExit() {
    ByteBuffer& last = LastResult();
    last.clear();
    last.shrink_to_fit();
}

Utf8Text PrepareProcess() {
    const Utf8Text folder = ProgramFolder();
    // An executable in "/" has the empty program folder; its folder is still "/".
    QDir::setCurrent(folder.empty() ? QStringLiteral("/") : QString::fromStdString(folder));
    // LastResult is made before the cleanup is registered, so it is destroyed only after the
    // cleanup has run.
    LastResult();
    std::atexit(FreeLastResultAtExit);
    return folder;
}

void OnMainWindowCreated(MainWindow& window) {
    AttachFileDropTarget(*window.DropObject(), *window.List());
    // Version 1, no debug callback, background thread and external codecs not suppressed.
    GdiplusStartupInput input;
    GdiplusStartup(&GdiplusToken(), &input, nullptr);
}

void OnMainWindowClosing() {
    AwaitRendersInFlight();
    GdiplusShutdown(GdiplusToken());
    GdiplusToken() = 0;
}

}  // namespace zx
