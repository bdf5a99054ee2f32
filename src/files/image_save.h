#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace pomorina {

// The saved picture's name, in the program's folder.
inline const QString kImageFileName = QStringLiteral("Image.bmp");

// Writes a picture as a 24-bit BMP file. The bitmap goes to a new file
// beside the old one, which it then replaces in one step: a failed save
// leaves the previous file as it was, and a read-only file is never replaced.
// Returns the error, if any.
std::optional<QString> writeBitmap(const QImage& picture, const QString& path);

} // namespace pomorina
