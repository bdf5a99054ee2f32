#include "settings.h"

#include "app/choices.h"

#include <QRegularExpression>

#include <cfloat>
#include <cmath>

namespace pomorina {

namespace {

struct ChoiceLine {
    int line;
    int first;
    int last;
};

template <typename Table> constexpr ChoiceLine choiceLine(int line, const Table& table) {
    return {line, firstIndex(table), lastIndex(table)};
}

// Lines that hold the index of a menu choice, with the indexes that exist.
constexpr ChoiceLine kChoiceLines[] = {
    choiceLine(2, kPreviewSizes), choiceLine(3, kPollIntervals),  choiceLine(5, kSaveSizes),
    choiceLine(6, kBackColours),  choiceLine(7, kAutoHideDelays),
};

constexpr int kPositionLines[] = {8, 9};

QString describe(const QString& text) {
    return text.isEmpty() ? QStringLiteral("（空行）") : QStringLiteral("「%1」").arg(text);
}

} // namespace

QString& Settings::line(int n) {
    return const_cast<QString&>(static_cast<const Settings*>(this)->line(n));
}

const QString& Settings::line(int n) const {
    switch (n) {
    case 1:
        return cfgTopmost;
    case 2:
        return cfgPreviewSize;
    case 3:
        return cfgInterval;
    case 4:
        return cfgKeepPos;
    case 5:
        return cfgSaveSize;
    case 6:
        return cfgBackColor;
    case 7:
        return cfgAutoHide;
    case 8:
        return cfgLeft;
    default:
        return cfgTop;
    }
}

QList<QString> splitSettingsLines(const QByteArray& bytes) {
    QByteArrayView rest(bytes);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    QList<QString> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(QString::fromLatin1(rest.sliced(start, i - start)));
        if (c == '\r' && i + 1 < rest.size() && rest[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < rest.size())
        lines.append(QString::fromLatin1(rest.sliced(start)));
    return lines;
}

std::optional<double> numericValue(QStringView text) {
    // Each part can match in one way only, so that a long run of digits that
    // is no number fails at once instead of being tried at every split
    // (seconds for a line that fills the 64 KiB read).
    static const QRegularExpression number(
        QStringLiteral(R"(^[ \t]*([+-]?(?:\d+(?:\.\d*)?|\.\d+)(?:[eE][+-]?\d+)?)[ \t]*$)"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = match.capturedView(1).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> integerValue(QStringView text) {
    const std::optional<double> value = numericValue(text);
    if (!value)
        return std::nullopt;
    // The default floating-point rounding mode rounds halves to even.
    const double rounded = std::nearbyint(*value);
    if (rounded < -32768.0 || rounded > 32767.0)
        return std::nullopt;
    return static_cast<int>(rounded);
}

// Messages fill in all their parts in one pass, so that a "%2" in a folder's
// name or in a line of the file is shown as it is.
ParsedSettings parseSettings(const QByteArray& bytes, const QString& fileName) {
    const QList<QString> lines = splitSettingsLines(bytes);
    if (lines.size() < Settings::kLines) {
        return {std::nullopt,
                {0, QStringLiteral("%1 には 9 行の設定が必要ですが、%2 行しかありません。")
                        .arg(fileName, QString::number(lines.size()))}};
    }
    Settings settings;
    for (int n = 1; n <= Settings::kLines; ++n)
        settings.line(n) = lines[n - 1];

    for (const ChoiceLine& choice : kChoiceLines) {
        const QString& text = settings.line(choice.line);
        const std::optional<int> value = integerValue(text);
        if (!value) {
            return {
                std::nullopt,
                {choice.line, QStringLiteral("%1 の %2 行目 %3 は数ではありません。")
                                  .arg(fileName, QString::number(choice.line), describe(text))}};
        }
        if (*value < choice.first || *value > choice.last) {
            return {std::nullopt,
                    {choice.line,
                     QStringLiteral("%1 の %2 行目 %3 は %4 から %5 の数でなければなりません。")
                         .arg(fileName, QString::number(choice.line), describe(text),
                              QString::number(choice.first), QString::number(choice.last))}};
        }
    }
    for (const int line : kPositionLines) {
        const QString& text = settings.line(line);
        const std::optional<double> value = numericValue(text);
        if (!value || std::fabs(*value) > FLT_MAX) {
            return {std::nullopt,
                    {line, QStringLiteral("%1 の %2 行目 %3 は位置を表す数ではありません。")
                               .arg(fileName, QString::number(line), describe(text))}};
        }
    }
    return {settings, {}};
}

QByteArray formatSettings(const Settings& settings) {
    QByteArray bytes;
    // A first line that itself begins with the bytes of a byte-order mark
    // gets one in front: the reader skips a mark and would cut the line.
    if (settings.cfgTopmost.startsWith(QLatin1String("\xEF\xBB\xBF")))
        bytes += "\xEF\xBB\xBF";
    for (int n = 1; n <= Settings::kLines; ++n) {
        bytes += settings.line(n).toLatin1();
        bytes += "\r\n";
    }
    return bytes;
}

QString formatPosition(float twips) {
    if (twips == 0.0f)
        return QStringLiteral("0"); // never "-0"
    QString text = QString::number(static_cast<double>(twips), 'g', 7);
    return text.toUpper(); // "1.234568E+08", the usual form of a large number
}

} // namespace pomorina
