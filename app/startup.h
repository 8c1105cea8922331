#pragma once
// The frame of the process: what is prepared before the window exists, what the window's
// creation and closing start and stop, and the cleanup at exit.

#include <cstdint>

#include "platform/bytes.h"

namespace zx {

class MainWindow;

// The imaging session's token: 0 until the session opens.
std::uintptr_t& GdiplusToken();

// Makes the program folder the current directory ("/" when the program lies in the root
// folder), so a relative watermark path is read from there, and registers the exit cleanup.
// Returns the program folder.
Utf8Text PrepareProcess();

// Releases LastResult. Registered with std::atexit by PrepareProcess.
void FreeLastResultAtExit();

// The window exists with every control and is still hidden: attach the drop target to the
// list, then open the imaging session.
void OnMainWindowCreated(MainWindow& window);

// The window is closing and its controls still exist: wait for a render that is under way,
// then close the imaging session.
void OnMainWindowClosing();

}  // namespace zx
