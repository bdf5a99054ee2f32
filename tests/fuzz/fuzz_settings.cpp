// Fuzz target: the settings file reader. Whatever the bytes, a rejection says
// what is wrong and names the line at fault, and an accepted file written back
// reads as the same settings.
#include "app/settings.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>

using namespace pomorina;

namespace {

const QString& fileName() {
    static const QString name = QStringLiteral("設定.ini");
    return name;
}

// The file with line n (1..9) set to a value that line always accepts.
QByteArray withGoodLine(const QByteArray& bytes, int n) {
    static const char* const good[] = {"0", "3", "1", "0", "0", "0", "0", "1500", "1500"};
    QList<QString> lines = splitSettingsLines(bytes);
    lines[n - 1] = QString::fromLatin1(good[n - 1]);
    QByteArray fixed;
    for (const QString& line : lines)
        fixed += line.toLatin1() + "\r\n";
    return fixed;
}

void checkRejection(const QByteArray& bytes, const SettingsError& error) {
    FUZZ_CHECK(!error.message.isEmpty());
    FUZZ_CHECK(error.message.contains(fileName()));
    FUZZ_CHECK(error.line >= 0 && error.line <= Settings::kLines);
    if (error.line == 0) {
        // The file as a whole: only too few lines make it unusable.
        FUZZ_CHECK(splitSettingsLines(bytes).size() < Settings::kLines);
        return;
    }
    FUZZ_CHECK(error.message.contains(QStringLiteral("%1 行目").arg(error.line)));
    FUZZ_CHECK(splitSettingsLines(bytes).size() >= Settings::kLines);
    // The named line is the one at fault: with it mended, the file is
    // accepted or fails on another line.
    const ParsedSettings mended = parseSettings(withGoodLine(bytes, error.line), fileName());
    FUZZ_CHECK(mended.settings || mended.error.line != error.line);
}

void checkRoundTrip(const Settings& settings) {
    const QByteArray written = formatSettings(settings);
    FUZZ_CHECK(written.count('\r') == Settings::kLines);
    FUZZ_CHECK(written.count('\n') == Settings::kLines);
    FUZZ_CHECK(written.endsWith("\r\n"));
    const ParsedSettings reread = parseSettings(written, fileName());
    FUZZ_CHECK(reread.settings);
    FUZZ_CHECK(*reread.settings == settings);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ParsedSettings parsed = parseSettings(bytes, fileName());
    if (parsed.settings)
        checkRoundTrip(*parsed.settings);
    else
        checkRejection(bytes, parsed.error);
    return 0;
}
