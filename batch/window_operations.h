#pragma once
// The door from the batch run to the window. The window (app/) implements it; tests give
// the run a fake. Every operation runs on the window's thread and reports no failure.

#include <cstdint>

#include "platform/bytes.h"

namespace zx {

enum class EditBox {
    WatermarkText,  // 编辑框1
    WatermarkPath,  // 编辑框2
};

enum class RadioButton {
    TextWatermark,   // 单选框1, "文字水印"
    ImageWatermark,  // 单选框2, "图片水印"
};

class WindowOperations {
  public:
    virtual ~WindowOperations() = default;

    // The box's whole current text; empty for an empty box.
    virtual Utf8Text ReadControlText(EditBox box) = 0;
    // True exactly when the button is checked.
    virtual bool IsRadioChecked(RadioButton button) = 0;
    // Rows of 超级列表框1 at the moment of the call.
    virtual std::int32_t ListRowCount() = 0;
    // The cell's whole text; empty for an empty cell and for a row or column that does not exist.
    virtual Utf8Text ReadListCell(std::int32_t row, std::int32_t column) = 0;
    // Appends an empty row; its index (the row count before the call), or -1.
    virtual std::int32_t AppendListRow() = 0;
    // A row or column that does not exist is left alone.
    virtual void WriteListCell(std::int32_t row, std::int32_t column, const Utf8Text& text) = 0;
    // Modal box, caption "信息：", one button "确定", no icon; returns when dismissed.
    virtual void ShowMessage(const Utf8Text& text) = 0;
    // Dispatches what is waiting, never waits for more, leaves a quit request pending.
    virtual void PumpPendingEvents() = 0;

    // For a run that renders off the window's thread:
    // true once the window is being destroyed; a run then touches nothing more.
    virtual bool WindowClosed() = 0;
    // Progress of the innermost run: rows done of the row count; Hide when it ends.
    virtual void ShowProgress(std::int32_t done, std::int32_t total) = 0;
    virtual void HideProgress() = 0;
};

}  // namespace zx
