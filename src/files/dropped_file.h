#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace pomorina {

// What a dropped file holds, judged by the last four characters of its name
// in lower case: ".bmp", ".jpg", "jpeg" and ".ico" are pictures, ".txt" text.
enum class DropKind { None, Picture, Text };

QString dropExtension(const QString& dropPath);
DropKind dropKind(const QString& ext);

// At most this many lines of a dropped text file are taken.
inline constexpr int kDroppedTextLines = 20;
// And at most this much of the file is read for them.
inline constexpr qint64 kDroppedTextReadLimit = 16 * 1024 * 1024;
// A dropped picture file is read whole up to this size.
inline constexpr qint64 kDroppedPictureReadLimit = 256 * 1024 * 1024;

// Text decoded from a file's bytes. UTF-8 (with or without a byte-order
// mark) and UTF-16 with a byte-order mark are recognised; bytes that are not
// valid UTF-8 are read as Shift_JIS when they are valid there, and in the
// locale's encoding otherwise. With `cutShort`, the bytes are the start of a
// longer file and may end inside a character, which is then left out;
// otherwise an incomplete character at the end counts as invalid.
QString decodeText(QByteArrayView bytes, bool cutShort = false);

// The first lines of a text, each followed by CR LF. A line ends at CR or at
// CR LF; a lone LF does not end a line.
QString firstLines(QStringView text, int count);

struct DroppedText {
    std::optional<QString> text; // the lines, each ended by CR LF
    QString error;               // why there is none
};

// Reads the first twenty lines of a dropped text file, reading no more than
// the read limit. A file that cannot be read, or that holds binary data, has
// no text.
DroppedText readDroppedText(const QString& path);

struct DroppedPicture {
    QImage picture; // null when there is none
    QString error;
    // The file's bytes and their MIME type, so that the picture can be
    // offered as it was and kept without its pixels.
    QByteArray bytes;
    QByteArray format;
};

// Decodes a dropped picture file; a file that cannot be decoded, or whose
// picture is too large to hold, has no picture.
DroppedPicture readDroppedPicture(const QString& path);

} // namespace pomorina
