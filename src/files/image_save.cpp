#include "image_save.h"

#include <QImageWriter>
#include <QSaveFile>

namespace pomorina {

std::optional<QSize> saveResolution(double settingValue) {
    if (settingValue == 0)
        return QSize(640, 480);
    if (settingValue == 1)
        return QSize(1024, 768);
    if (settingValue == 2)
        return QSize(1280, 1024);
    if (settingValue == 3)
        return QSize(1600, 1200);
    return std::nullopt;
}

std::optional<QString> writeBitmap(const QImage& picture, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("%1 を書き込めません（%2）。").arg(path, file.errorString());
    // Three bytes a pixel keep every colour; Qt writes 24-bit rows for an
    // opaque 32-bit picture.
    QImageWriter writer(&file, "bmp");
    if (!writer.write(picture.convertToFormat(QImage::Format_RGB32))) {
        file.cancelWriting();
        return QStringLiteral("%1 を書き込めません（%2）。").arg(path, writer.errorString());
    }
    if (!file.commit())
        return QStringLiteral("%1 を保存できません（%2）。").arg(path, file.errorString());
    return std::nullopt;
}

} // namespace pomorina
