#pragma once
// Intake of files dragged from a file manager onto the file list. The list alone is a drop
// target; it takes file lists only and never touches the files themselves.

#include <QObject>
#include <functional>
#include <vector>

#include "batch/window_operations.h"
#include "platform/bytes.h"

class QAbstractItemView;
class QMimeData;

namespace zx {

// The effect a drop would have for the keys held and the effects the source allows:
// no keys: copy, else move, else link; Ctrl: copy; Shift: move; Ctrl+Shift: none.
Qt::DropAction DropEffectFor(Qt::KeyboardModifiers keys, Qt::DropActions allowed);

// The paths of a dragged file list, in the drag's order. Empty for anything that is not a
// list of local files (text, web links, HTML, or a mix of files and links).
std::vector<Utf8Text> DraggedFilePaths(const QMimeData* data);

// One drop's paths as one text: a single path alone; two or more each followed by "\r\n".
Utf8Text BuildDroppedFilesText(const std::vector<Utf8Text>& paths);

// The pieces between "\r\n" delimiters; a trailing delimiter adds no empty piece.
std::vector<Utf8Text> SplitDroppedFilesText(const Utf8Text& text);

// Appends one row per piece: column 0 its ordinal within this drop from 1, column 1 the piece.
void OnFilesDropped(WindowOperations& window, const Utf8Text& droppedFiles);

// 拖放对象1: a non-visual member of the window; once attached it serves the drag events of
// the list and hands every accepted drop over as one dropped-files text.
class FileDropObject : public QObject {
  public:
    using Handler = std::function<void(const Utf8Text& droppedFiles)>;

    FileDropObject(QObject* parent, Handler onFilesDropped);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Handler onFilesDropped_;
};

// Makes the list's viewport, and nothing else, accept drops through the drop object.
void AttachFileDropTarget(FileDropObject& dropObject, QAbstractItemView& list);

}  // namespace zx
