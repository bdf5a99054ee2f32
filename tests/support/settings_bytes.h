// Settings file contents as lines, and files read back whole, for the tests
// that write a settings file and compare what is left in it.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

namespace pomorina::testing {

// The nine settings lines: not on top, 192 preview, 500 ms poll, position not
// kept, 640*480 save, white back colour, no auto-hide, at (100, 100) px.
inline QList<QByteArray> defaultSettings() {
    return {"0", "3", "1", "0", "0", "0", "0", "1500", "1500"};
}

// `values` with line n (1..9) replaced.
inline QList<QByteArray> withLine(QList<QByteArray> values, int n, const QByteArray& value) {
    values[n - 1] = value;
    return values;
}

// The defaults with line n (1..9) replaced.
inline QList<QByteArray> settingsWith(int n, const QByteArray& value) {
    return withLine(defaultSettings(), n, value);
}

// The lines as a file holds them, each followed by `ending`.
inline QByteArray settingsBytes(const QList<QByteArray>& values,
                                const QByteArray& ending = "\r\n") {
    QByteArray bytes;
    for (const QByteArray& value : values)
        bytes += value + ending;
    return bytes;
}

// The whole file, or nothing when it cannot be read.
inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace pomorina::testing
