#include "dropped_file.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStringDecoder>

namespace pomorina {

namespace {

// The text of bytes valid in the decoder's encoding, or nothing. Bytes that
// may end inside a character (a bounded read stopped there) are judged
// without that last character; otherwise an incomplete character at the end
// makes them invalid.
std::optional<QString> decodeStrictly(const char* encoding, QByteArrayView bytes, bool cutShort) {
    QStringDecoder decoder(encoding, cutShort ? QStringDecoder::Flag::Default
                                              : QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
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

QString decodeText(QByteArrayView bytes, bool cutShort) {
    // A byte-order mark names the encoding.
    if (const std::optional<QStringConverter::Encoding> marked =
            QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*marked);
        return decoder.decode(bytes);
    }
    if (std::optional<QString> utf8 = decodeStrictly("UTF-8", bytes, cutShort))
        return *utf8;
    // The older encoding of Japanese text files, which many still use.
    if (std::optional<QString> shiftJis = decodeStrictly("Shift_JIS", bytes, cutShort))
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
    // Only a read that stopped at the limit may have cut a character.
    const bool cutShort = !file.atEnd();
    return {firstLines(decodeText(bytes, cutShort), kDroppedTextLines), {}};
}

namespace {
DroppedPicture refused(const QString& why) {
    DroppedPicture none;
    none.error = why;
    return none;
}
} // namespace

DroppedPicture readDroppedPicture(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return refused(QStringLiteral("%1 はファイルではありません。").arg(path));
    const QString unreadable = QStringLiteral("%1 を画像として読み込めません（%2）。");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(unreadable.arg(path, file.errorString()));
    // No picture the reader takes comes in a file larger than this.
    if (info.size() > kDroppedPictureReadLimit)
        return refused(QStringLiteral("%1 は画像として大きすぎます。").arg(path));
    DroppedPicture dropped;
    dropped.bytes = file.read(kDroppedPictureReadLimit);
    QBuffer buffer(&dropped.bytes);
    buffer.open(QIODevice::ReadOnly);
    // The reader refuses pictures larger than its allocation limit instead of
    // exhausting memory.
    QImageReader reader(&buffer);
    dropped.picture = reader.read();
    if (dropped.picture.isNull())
        return refused(unreadable.arg(path, reader.errorString()));
    // A bitmap or a photo is offered as it came; an icon keeps its pixels.
    const QByteArray type = reader.format();
    if (type == "jpeg" || type == "jpg")
        dropped.format = "image/jpeg";
    else if (type == "bmp")
        dropped.format = "image/bmp";
    else
        dropped.bytes.clear();
    return dropped;
}

} // namespace pomorina
