// Fuzz target: reading the lines of a dropped text file. Whatever the bytes,
// decoding gives no more characters than there are bytes, and the lines taken
// are at most twenty, each ended by CR LF, in the text's own order.
#include "files/dropped_file.h"
#include "fuzz_check.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

using namespace pomorina;

namespace {

// The text with each CR LF as a lone CR: every line end as one character.
QString crEndings(QStringView text) {
    return text.toString().replace(QLatin1String("\r\n"), QLatin1String("\r"));
}

void checkLines(const QString& text, const QString& lines) {
    FUZZ_CHECK(lines.isEmpty() == text.isEmpty());
    if (lines.isEmpty())
        return;
    FUZZ_CHECK(lines.endsWith(QLatin1String("\r\n")));
    const qsizetype taken = lines.count(QLatin1String("\r\n"));
    FUZZ_CHECK(taken >= 1 && taken <= kDroppedTextLines);
    FUZZ_CHECK(lines.count(u'\r') == taken); // a CR in the text always ends a line
    // Each line end costs at most one character more than the text's own
    // (CR becomes CR LF; the last line may have had none).
    FUZZ_CHECK(lines.size() <= text.size() + taken + 1);

    // Same text, same order: the whole text when it has fewer than twenty
    // lines, else its first twenty.
    QString all = crEndings(text);
    if (!all.endsWith(u'\r'))
        all += u'\r';
    const QString got = crEndings(lines);
    if (taken < kDroppedTextLines) {
        FUZZ_CHECK(got == all);
    } else {
        FUZZ_CHECK(all.startsWith(got));
        FUZZ_CHECK(got.endsWith(u'\r'));
    }
}

bool validUtf8WithoutMark(QByteArrayView bytes) {
    if (QStringConverter::encodingForData(bytes))
        return false;
    QStringDecoder utf8(QStringConverter::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes); // decoding happens only here
    return !utf8.hasError();
}

// A read stopped short inside valid UTF-8 loses only the character it cut.
void checkCutUtf8(QByteArrayView bytes) {
    for (qsizetype cut = qMax<qsizetype>(0, bytes.size() - 3); cut < bytes.size(); ++cut) {
        qsizetype whole = cut; // the start of the character the cut falls in
        while (whole > 0 && (static_cast<unsigned char>(bytes[whole]) & 0xC0) == 0x80)
            --whole;
        FUZZ_CHECK(decodeText(bytes.first(cut), true) == QString::fromUtf8(bytes.first(whole)));
    }
}

// The file reader, on the same bytes in a file well under the read limit,
// takes the same lines, or refuses the file and says why. Not in the fuzzer:
// reading allocates the whole read limit, which under its sanitizers costs
// milliseconds a run; the unit test checks the file reader on the seeds.
#ifndef POMORINA_FUZZER
void checkFileRead(QByteArrayView bytes, const QString& expected, bool utf8) {
    static const QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("dropped.txt"));
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(bytes.data(), bytes.size()) == bytes.size());
    }
    const DroppedText dropped = readDroppedText(path);
    if (dropped.text) {
        FUZZ_CHECK(*dropped.text == expected);
    } else {
        FUZZ_CHECK(!dropped.error.isEmpty());
        // Plain UTF-8 text is never taken for binary data.
        FUZZ_CHECK(!utf8 || bytes.contains('\0'));
    }
}
#endif

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > static_cast<std::size_t>(kDroppedTextReadLimit))
        return -1; // more than a drop ever reads
    const QByteArrayView bytes(data, static_cast<qsizetype>(size));
    QString whole;
    for (const bool cutShort : {false, true}) {
        const QString text = decodeText(bytes, cutShort);
        FUZZ_CHECK(text.size() <= bytes.size());
        const QString lines = firstLines(text, kDroppedTextLines);
        checkLines(text, lines);
        if (!cutShort)
            whole = lines;
    }
    const bool utf8 = validUtf8WithoutMark(bytes);
    if (utf8)
        checkCutUtf8(bytes);
#ifndef POMORINA_FUZZER
    checkFileRead(bytes, whole, utf8);
#endif
    return 0;
}
