#pragma once
// The batch run: every listed picture marked and written into the output folder.

#include "batch/output_folder.h"
#include "batch/window_operations.h"
#include "platform/bytes.h"

namespace zx {

// Handler of both "确定" buttons.
void OnConfirmClicked(WindowOperations& window);

// Marks every row of the list with the chosen watermark and writes the results. Runs on the
// window's thread; renders each row off it while pumping the window's events.
void RunBatch(WindowOperations& window);

// The same run with the output folder chosen among `places` instead of the current program,
// pictures and home folders. The window's run is RunBatch(window); tests pass folders of
// their own.
void RunBatch(WindowOperations& window, const OutputFolderPlaces& places);

// Blocks until no row's render is under way. The window calls it before it closes the
// imaging session.
void AwaitRendersInFlight();

// The last watermarked picture; outlives a run, released by the exit cleanup.
ByteBuffer& LastResult();

}  // namespace zx
