#include "app/file_drop.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <string>

namespace zx {

namespace {

constexpr char kDelimiter[] = "\r\n";

}  // namespace

Qt::DropAction DropEffectFor(Qt::KeyboardModifiers keys, Qt::DropActions allowed) {
    const bool ctrl = keys.testFlag(Qt::ControlModifier);
    const bool shift = keys.testFlag(Qt::ShiftModifier);
    if (ctrl && shift) return Qt::IgnoreAction;
    if (ctrl) return allowed.testFlag(Qt::CopyAction) ? Qt::CopyAction : Qt::IgnoreAction;
    if (shift) return allowed.testFlag(Qt::MoveAction) ? Qt::MoveAction : Qt::IgnoreAction;
    for (Qt::DropAction effect : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction}) {
        if (allowed.testFlag(effect)) return effect;
    }
    return Qt::IgnoreAction;
}

namespace {

// The path of a file URL as the bytes that name the file. A name that is not UTF-8 (files
// unpacked from archives made on other systems) keeps its bytes, so it can still be opened.
Utf8Text LocalPathBytes(const QUrl& url) {
    const QString path = url.toLocalFile();
    if (!url.host().isEmpty()) return path.toStdString();
    const QByteArray raw = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (raw.isEmpty() || QString::fromUtf8(raw).toUtf8() == raw) return path.toStdString();
    return raw.toStdString();
}

}  // namespace

std::vector<Utf8Text> DraggedFilePaths(const QMimeData* data) {
    std::vector<Utf8Text> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    const QList<QUrl> urls = data->urls();
    // A file manager sends local files only; a drag that also carries web links or other
    // schemes is not a file list, so it is refused whole rather than taken in part.
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) return {};
        Utf8Text path = LocalPathBytes(url);
        if (path.empty()) return {};
        paths.push_back(std::move(path));
    }
    return paths;
}

Utf8Text BuildDroppedFilesText(const std::vector<Utf8Text>& paths) {
    if (paths.size() == 1) return paths.front();
    Utf8Text text;
    for (const Utf8Text& path : paths) {
        text += path;
        text += kDelimiter;
    }
    return text;
}

std::vector<Utf8Text> SplitDroppedFilesText(const Utf8Text& text) {
    std::vector<Utf8Text> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(kDelimiter, start);
        if (end == Utf8Text::npos) {
            pieces.push_back(text.substr(start));
            break;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return pieces;
}

void OnFilesDropped(WindowOperations& window, const Utf8Text& droppedFiles) {
    const std::vector<Utf8Text> pieces = SplitDroppedFilesText(droppedFiles);
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const std::int32_t row = window.AppendListRow();
        window.WriteListCell(row, 0, std::to_string(k + 1));
        window.WriteListCell(row, 1, pieces[k]);
    }
}

FileDropObject::FileDropObject(QObject* parent, Handler onFilesDropped)
    : QObject(parent), onFilesDropped_(std::move(onFilesDropped)) {
    setObjectName(QStringLiteral("拖放对象1"));
}

bool FileDropObject::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const Qt::DropAction effect =
                DraggedFilePaths(drop->mimeData()).empty()
                    ? Qt::IgnoreAction
                    : DropEffectFor(drop->modifiers(), drop->possibleActions());
            if (effect == Qt::IgnoreAction) {
                drop->setDropAction(Qt::IgnoreAction);
                drop->ignore();
                return true;
            }
            drop->setDropAction(effect);
            drop->accept();
            // Whatever the effect, only the paths are taken: nothing on disk moves.
            if (event->type() == QEvent::Drop && onFilesDropped_) {
                onFilesDropped_(BuildDroppedFilesText(DraggedFilePaths(drop->mimeData())));
            }
            return true;
        }
        case QEvent::DragLeave:
            return true;
        default:
            return QObject::eventFilter(watched, event);
    }
}

void AttachFileDropTarget(FileDropObject& dropObject, QAbstractItemView& list) {
    list.setDragDropMode(QAbstractItemView::NoDragDrop);
    list.viewport()->setAcceptDrops(true);
    list.viewport()->installEventFilter(&dropObject);
}

}  // namespace zx
