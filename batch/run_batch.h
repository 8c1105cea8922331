#pragma once
// The batch run: every listed picture marked and written into the output folder.

#include "batch/window_operations.h"
#include "platform/bytes.h"

namespace zx {

// Handler of both "确定" buttons.
void OnConfirmClicked(WindowOperations& window);

// Marks every row of the list with the chosen watermark and writes the results. Runs on the
// window's thread; renders each row off it while pumping the window's events.
void RunBatch(WindowOperations& window);

// Blocks until no row's render is under way. The window calls it before it closes the
// imaging session.
void AwaitRendersInFlight();

// The last watermarked picture; outlives a run, released by the exit cleanup.
ByteBuffer& LastResult();

}  // namespace zx
