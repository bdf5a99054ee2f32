#include "image_save.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace pomorina {

namespace {

// Writes out what the file still holds in its buffer. A write that a full
// disk cuts short reports no reason; trying the rest once more fails with it.
bool flushRest(QSaveFile& file) {
    return file.flush() || file.flush();
}

} // namespace

std::optional<QString> writeBitmap(const QImage& picture, const QString& path) {
    // A picture made read-only is one the user wants kept: not replaced, even
    // where our rights would allow it (as root).
    if (const QFileInfo info(path);
        info.exists() && !info.permissions().testFlag(QFileDevice::WriteOwner))
        return QStringLiteral("%1 は読み取り専用なので書き換えません。").arg(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("%1 を書き込めません（%2）。").arg(path, file.errorString());
    // Three bytes a pixel keep every colour; Qt writes 24-bit rows for an
    // opaque 32-bit picture.
    QImageWriter writer(&file, "bmp");
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB32))) {
        // The writer only knows that it failed; the file tells why (a full
        // disk, say). The new file is discarded.
        flushRest(file);
        const QString why =
            file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        file.cancelWriting();
        return QStringLiteral("%1 を書き込めません（%2）。").arg(path, why);
    }
    // The last rows wait in the buffer until the file is closed, where
    // commit() would not notice a full disk and would put a cut-off picture in
    // place of the old one: they are written out first.
    if (!flushRest(file) || !file.commit())
        return QStringLiteral("%1 を保存できません（%2）。").arg(path, file.errorString());
    return std::nullopt;
}

} // namespace pomorina
