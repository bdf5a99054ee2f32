// Files and folder entries for the tests of dropped files: bytes written to a
// file, pictures encoded in a given format, and the unusable entries (folder,
// missing name, named pipe, device link) a drop may name.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QString>

#include <sys/stat.h>

namespace pomorina::testing {

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray encoded(const QImage& picture, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    return writer.write(picture) ? bytes : QByteArray();
}

// What makeEntry puts at a name.
enum EntryKind { FileWithBytes = 0, Folder = 1, Missing = 2, NamedPipe = 3, DevZeroLink = 4 };

// Makes `name` inside the folder `dir` as `what` says (`bytes` for a file);
// false when that could not be done.
inline bool makeEntry(const QString& dir, const QString& name, int what, const QByteArray& bytes) {
    const QString path = QDir(dir).filePath(name);
    switch (what) {
    case FileWithBytes:
        return writeFile(path, bytes);
    case Folder:
        return QDir(dir).mkdir(name);
    case NamedPipe:
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    case DevZeroLink:
        return QFile::link(QStringLiteral("/dev/zero"), path);
    default:
        return true;
    }
}

} // namespace pomorina::testing
