#include "dropped_file.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStringDecoder>

namespace pomorina {

namespace {

// A decoder that reports whether the bytes were valid in its encoding.
std::optional<QString> decodeStrictly(QStringDecoder decoder, QByteArrayView bytes) {
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Drops a multi-byte UTF-8 sequence cut short at the end, as a bounded read
// may leave one.
QByteArrayView withoutCutUtf8Tail(QByteArrayView bytes) {
    qsizetype start = bytes.size();
    for (int back = 0; back < 4 && start > 0; ++back) {
        const auto byte = static_cast<unsigned char>(bytes[start - 1]);
        if ((byte & 0xC0) != 0x80) { // not a continuation byte
            if (byte < 0x80)
                return bytes; // ends on a whole character
            const int needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
            const qsizetype have = bytes.size() - (start - 1);
            return have < needed ? bytes.first(start - 1) : bytes;
        }
        --start;
    }
    return bytes;
}

bool looksBinary(QByteArrayView bytes) {
    return bytes.contains('\0');
}

} // namespace

QString dropExtension(const QString& dropPath) {
    return dropPath.right(4).toLower();
}

DropKind dropKind(const QString& ext) {
    if (ext == QLatin1String(".bmp") || ext == QLatin1String(".jpg") ||
        ext == QLatin1String("jpeg") || ext == QLatin1String(".ico"))
        return DropKind::Picture;
    if (ext == QLatin1String(".txt"))
        return DropKind::Text;
    return DropKind::None;
}

QString decodeText(QByteArrayView bytes) {
    // A byte-order mark names the encoding.
    if (const std::optional<QStringConverter::Encoding> marked =
            QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*marked);
        return decoder.decode(bytes);
    }
    if (std::optional<QString> utf8 =
            decodeStrictly(QStringDecoder(QStringConverter::Utf8), withoutCutUtf8Tail(bytes)))
        return *utf8;
    // The code page of a Japanese Windows desktop, where such files come from.
    if (std::optional<QString> shiftJis = decodeStrictly(QStringDecoder("Shift_JIS"), bytes))
        return *shiftJis;
    QStringDecoder locale(QStringConverter::System);
    return locale.decode(bytes);
}

QString firstLines(QStringView text, int count) {
    QString lines;
    qsizetype start = 0;
    int taken = 0;
    while (taken < count && start < text.size()) {
        qsizetype end = text.indexOf(u'\r', start);
        const bool last = end < 0;
        if (last)
            end = text.size();
        lines += text.sliced(start, end - start);
        lines += QLatin1String("\r\n");
        ++taken;
        if (last)
            break;
        start = end + 1;
        if (start < text.size() && text[start] == u'\n')
            ++start;
    }
    return lines;
}

DroppedText readDroppedText(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return {std::nullopt, QStringLiteral("%1 はファイルではありません。").arg(path)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt,
                QStringLiteral("%1 を開けません（%2）。").arg(path, file.errorString())};
    const QByteArray bytes = file.read(kDroppedTextReadLimit);
    if (file.error() != QFileDevice::NoError)
        return {std::nullopt,
                QStringLiteral("%1 を読めません（%2）。").arg(path, file.errorString())};
    const bool utf16 = QStringConverter::encodingForData(bytes).has_value() &&
                       (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"));
    if (!utf16 && looksBinary(bytes))
        return {std::nullopt, QStringLiteral("%1 はテキストファイルではありません。").arg(path)};
    return {firstLines(decodeText(bytes), kDroppedTextLines), {}};
}

DroppedPicture readDroppedPicture(const QString& path) {
    if (!QFileInfo(path).isFile())
        return {{}, QStringLiteral("%1 はファイルではありません。").arg(path)};
    // The reader refuses pictures larger than its allocation limit instead of
    // exhausting memory.
    QImageReader reader(path);
    QImage picture = reader.read();
    if (picture.isNull())
        return {{},
                QStringLiteral("%1 を画像として読み込めません（%2）。")
                    .arg(path, reader.errorString())};
    return {picture, {}};
}

} // namespace pomorina
