#pragma once

#include "clipboard_offer.h"

#include <QObject>

namespace pomorina {

// The system clipboard as the program sees it. The desktop's backend tells
// when the content changes and hands over finished reads of it: nothing on
// the user interface's thread ever waits for the program that holds the
// clipboard. Lives on that thread; every call and signal is made there.
class ClipboardSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ClipboardSource() override;

    // Moves with every change of the content, ours included, as soon as the
    // change is known and before its content has been read.
    virtual quint64 changeCount() const = 0;
    // The newest finished read: the content as of change snapshot().change.
    virtual const ClipboardSnapshot& snapshot() const = 0;
    // True while a newer change's content is still on its way.
    bool pending() const { return snapshot().change != changeCount(); }
    // Where the desktop does not report changes, asks the clipboard again;
    // elsewhere nothing is asked.
    virtual void refresh() {}

    // Each replaces the whole content; false when that failed. From then on
    // the snapshot holds what was written. A picture that came with its
    // encoded bytes and their MIME type goes back as those very bytes, with
    // PNG besides; any other is offered as PNG, encoded once, off this thread.
    virtual bool setText(const QString& text) = 0;
    virtual bool setImage(const QImage& image, const QByteArray& bytes,
                          const QByteArray& format) = 0;
    bool setImage(const QImage& image) { return setImage(image, {}, {}); }

    // The snapshot's picture has been taken: its pixels may go, where its
    // bytes can give them back.
    virtual void releasePicture() = 0;

    // Which backend this is and why it was chosen, in one line.
    virtual QString description() const = 0;

signals:
    // changeCount() moved: new content is on its way.
    void changeBegan();
    // snapshot() holds a newer read.
    void snapshotArrived();
};

} // namespace pomorina
