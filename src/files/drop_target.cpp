#include "drop_target.h"

#include <QDropEvent>
#include <QMimeData>

namespace pomorina {

namespace {

bool takeAsCopy(QDropEvent* drop) {
    if (!drop->mimeData()->hasUrls() || !drop->possibleActions().testFlag(Qt::CopyAction)) {
        drop->ignore(); // dragged text and the like are not taken either
        return false;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    return true;
}

} // namespace

DropTarget::DropTarget(QObject* parent, std::function<void(const QString&)> dropped)
    : QObject(parent), dropped_(std::move(dropped)) {}

void DropTarget::watch(QObject* widget) {
    widget->installEventFilter(this);
}

bool DropTarget::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
        takeAsCopy(static_cast<QDragMoveEvent*>(event));
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> urls = drop->mimeData()->urls();
        if (urls.isEmpty() || !urls.first().isLocalFile()) {
            drop->ignore();
            return true;
        }
        if (takeAsCopy(drop))
            dropped_(urls.first().toLocalFile());
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace pomorina
