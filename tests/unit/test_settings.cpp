// The settings file: reading, checking, formatting and the three writers.
#include "app/settings.h"
#include "app/settings_file.h"
#include "support/settings_bytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace pomorina;
using namespace pomorina::testing;
using namespace Qt::StringLiterals;

namespace {

// The defaults, but on top.
QList<QByteArray> validLines() {
    return withLine(defaultSettings(), 1, "1");
}

// Line n (1..9) of the valid lines replaced.
QList<QByteArray> validWith(int n, const QByteArray& value) {
    return withLine(validLines(), n, value);
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Marks a file or folder immutable, so that nothing can replace the file or
// be created in the folder, where the file system and our rights allow it.
bool makeImmutable(const QString& dir, bool on) {
    return QProcess::execute(QStringLiteral("chattr"),
                             {on ? QStringLiteral("+i") : QStringLiteral("-i"), dir}) == 0;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void integerValue_data();
    void integerValue();
    void parse_data();
    void parse();
    void parseKeepsTextAsRead();
    void lineEndings_data();
    void lineEndings();
    void formatPosition_data();
    void formatPosition();
    void formatWritesNineTerminatedLines();
    void save_data();
    void save();
    void exitWithRememberingOffWritesNothing();
    void exitRestoresFileChoicesAndStoresPosition();
    void exitDropsLinesAfterTheNinth();
    void exitWithShortOrMissingFileReportsIt();
    void failedWriteKeepsThePreviousFile_data();
    void failedWriteKeepsThePreviousFile();
};

void TestSettings::integerValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -99999: not a value
    const int none = -99999;
    QTest::newRow("plain") << "3" << 3;
    QTest::newRow("blanks around") << " 3 " << 3;
    QTest::newRow("tab") << "\t4" << 4;
    QTest::newRow("plus sign") << "+2" << 2;
    QTest::newRow("half rounds to even, down") << "2.5" << 2;
    QTest::newRow("half rounds to even, up") << "3.5" << 4;
    QTest::newRow("negative half") << "-2.5" << -2;
    QTest::newRow("trailing point") << "3." << 3;
    QTest::newRow("leading point") << ".6" << 1;
    QTest::newRow("exponent") << "5e-1" << 0;
    QTest::newRow("largest 16-bit") << "32767" << 32767;
    QTest::newRow("beyond 16 bits") << "40000" << none;
    QTest::newRow("empty") << "" << none;
    QTest::newRow("blank only") << "  " << none;
    QTest::newRow("letters") << "abc" << none;
    QTest::newRow("two numbers") << "1 2" << none;
    QTest::newRow("hex") << "0x3" << none;
    QTest::newRow("digit then letter") << "3a" << none;
    QTest::newRow("infinity") << "inf" << none;
}

void TestSettings::integerValue() {
    QFETCH(QString, text);
    QFETCH(int, value);
    const std::optional<int> got = pomorina::integerValue(text);
    if (value == -99999)
        QVERIFY2(!got, qPrintable(QString::number(got.value_or(0))));
    else
        QCOMPARE(got.value_or(-99999), value);
}

void TestSettings::parse_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("errorLine"); // -1: accepted

    QTest::newRow("valid") << settingsBytes(validLines()) << -1;
    QTest::newRow("eleven lines") << settingsBytes(validLines() + QList<QByteArray>{"x", "y"})
                                  << -1;
    QTest::newRow("blank-padded preview") << settingsBytes(validWith(2, " 3")) << -1;
    QTest::newRow("preview 5.5 rounds to 6") << settingsBytes(validWith(2, "5.5")) << 2;
    QTest::newRow("preview 0.5 rounds to 0") << settingsBytes(validWith(2, "0.5")) << 2;
    QTest::newRow("preview 4.5 rounds to 4") << settingsBytes(validWith(2, "4.5")) << -1;
    QTest::newRow("preview empty") << settingsBytes(validWith(2, "")) << 2;
    QTest::newRow("preview 0") << settingsBytes(validWith(2, "0")) << 2;
    QTest::newRow("preview 6") << settingsBytes(validWith(2, "6")) << 2;
    QTest::newRow("interval 0") << settingsBytes(validWith(3, "0")) << 3;
    QTest::newRow("interval 7") << settingsBytes(validWith(3, "7")) << 3;
    QTest::newRow("interval 6") << settingsBytes(validWith(3, "6")) << -1;
    QTest::newRow("save size -1") << settingsBytes(validWith(5, "-1")) << 5;
    QTest::newRow("save size 4") << settingsBytes(validWith(5, "4")) << 5;
    QTest::newRow("back colour 2") << settingsBytes(validWith(6, "2")) << 6;
    QTest::newRow("back colour ' 1'") << settingsBytes(validWith(6, " 1")) << -1;
    QTest::newRow("auto-hide 7") << settingsBytes(validWith(7, "7")) << 7;
    QTest::newRow("auto-hide 6, hidden item") << settingsBytes(validWith(7, "6")) << -1;
    QTest::newRow("auto-hide -0.4 rounds to 0") << settingsBytes(validWith(7, "-0.4")) << -1;
    QTest::newRow("auto-hide letters") << settingsBytes(validWith(7, "off")) << 7;
    QTest::newRow("left not a number") << settingsBytes(validWith(8, "left")) << 8;
    QTest::newRow("top empty") << settingsBytes(validWith(9, "")) << 9;
    QTest::newRow("left beyond single precision") << settingsBytes(validWith(8, "1e39")) << 8;
    QTest::newRow("left negative fraction") << settingsBytes(validWith(8, "-12.5")) << -1;
    QTest::newRow("topmost anything") << settingsBytes(validWith(1, "yes")) << -1;
    QTest::newRow("keep position empty") << settingsBytes(validWith(4, "")) << -1;
    QTest::newRow("eight lines") << settingsBytes(validLines().mid(0, 8)) << 0;
    QTest::newRow("empty file") << QByteArray() << 0;
    QTest::newRow("nine lines, last unterminated") << settingsBytes(validLines()).chopped(2) << -1;
}

void TestSettings::parse() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, errorLine);
    const ParsedSettings parsed = parseSettings(bytes, QStringLiteral("設定.ini"));
    if (errorLine < 0) {
        QVERIFY2(parsed.settings.has_value(), qPrintable(parsed.error.message));
        return;
    }
    QVERIFY(!parsed.settings);
    QCOMPARE(parsed.error.line, errorLine);
    // The message names the file and, for a line, that line.
    QVERIFY(parsed.error.message.contains(QStringLiteral("設定.ini")));
    if (errorLine > 0)
        QVERIFY2(parsed.error.message.contains(QStringLiteral("%1 行目").arg(errorLine)),
                 qPrintable(parsed.error.message));
}

void TestSettings::parseKeepsTextAsRead() {
    const QList<QByteArray> values = {" 1", " 3", "2 ", "yes", "01", " 1", " 3", "-1500", "1.5e3"};
    const ParsedSettings parsed = parseSettings(settingsBytes(values), QStringLiteral("設定.ini"));
    QVERIFY(parsed.settings);
    for (int n = 1; n <= Settings::kLines; ++n)
        QCOMPARE(parsed.settings->line(n), QString::fromLatin1(values[n - 1]));
    // Written back byte for byte.
    QCOMPARE(formatSettings(*parsed.settings), settingsBytes(values));
}

void TestSettings::lineEndings_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("count");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\nc\r\n") << 3;
    QTest::newRow("CR alone") << QByteArray("a\rb\rc\r") << 3;
    QTest::newRow("LF alone") << QByteArray("a\nb\nc\n") << 3;
    QTest::newRow("no final ending") << QByteArray("a\r\nb\r\nc") << 3;
    QTest::newRow("empty lines count") << QByteArray("\r\n\r\n\r\n") << 3;
    QTest::newRow("CR CR LF is two lines") << QByteArray("a\r\r\n") << 2;
    QTest::newRow("byte-order mark skipped") << QByteArray("\xEF\xBB\xBF"
                                                           "a\r\n")
                                             << 1;
}

void TestSettings::lineEndings() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, count);
    const QList<QString> split = splitSettingsLines(bytes);
    QCOMPARE(split.size(), count);
    if (bytes.contains('a'))
        QCOMPARE(split.first(), QStringLiteral("a"));
}

void TestSettings::formatPosition_data() {
    QTest::addColumn<float>("twips");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0f << "0";
    QTest::newRow("negative zero") << -0.0f << "0";
    QTest::newRow("whole") << 1500.0f << "1500";
    QTest::newRow("negative") << -1500.0f << "-1500";
    QTest::newRow("fraction") << 1234.5f << "1234.5";
    QTest::newRow("small fraction") << 0.25f << "0.25";
    QTest::newRow("seven digits") << 1234567.0f << "1234567";
    QTest::newRow("eight digits") << 12345678.0f << "1.234568E+07";
    QTest::newRow("large negative") << -3.0e9f << "-3E+09";
    QTest::newRow("pixel times fifteen") << 32767.0f * 15 << "491505";
}

void TestSettings::formatPosition() {
    QFETCH(float, twips);
    QFETCH(QString, text);
    QCOMPARE(pomorina::formatPosition(twips), text);
    // What is written reads back as the same single-precision value.
    QCOMPARE(static_cast<float>(numericValue(text).value_or(-1)), twips == 0 ? 0.0f : twips);
}

void TestSettings::formatWritesNineTerminatedLines() {
    const ParsedSettings parsed = parseSettings(settingsBytes(validLines()), QStringLiteral("x"));
    QVERIFY(parsed.settings);
    QCOMPARE(formatSettings(*parsed.settings),
             QByteArray("1\r\n3\r\n1\r\n0\r\n0\r\n0\r\n0\r\n1500\r\n1500\r\n"));
}

void TestSettings::save_data() {
    QTest::addColumn<QByteArray>("keepPos");
    QTest::addColumn<QByteArray>("expectedLeft");
    QTest::addColumn<QByteArray>("expectedTop");
    QTest::addColumn<bool>("positionKnown");
    // Only "1" stores the current position; everything else keeps the lines read.
    QTest::newRow("remembering on")
        << QByteArray("1") << QByteArray("3000") << QByteArray("-45") << true;
    QTest::newRow("remembering off")
        << QByteArray("0") << QByteArray(" 1500") << QByteArray("1.5e3") << true;
    QTest::newRow("' 1' is not on")
        << QByteArray(" 1") << QByteArray(" 1500") << QByteArray("1.5e3") << true;
    QTest::newRow("remembering on, the desktop tells no position")
        << QByteArray("1") << QByteArray(" 1500") << QByteArray("1.5e3") << false;
}

void TestSettings::save() {
    QFETCH(QByteArray, keepPos);
    QFETCH(QByteArray, expectedLeft);
    QFETCH(QByteArray, expectedTop);
    QFETCH(bool, positionKnown);
    QTemporaryDir dir;
    const QString path = settingsPath(dir.path());
    const QList<QByteArray> read = {" 1", "3", "2", keepPos, "1 ", "01", " 3", " 1500", "1.5e3"};
    writeAll(path, settingsBytes(read + QList<QByteArray>{"tenth"}));
    ParsedSettings parsed = readSettingsFile(path);
    QVERIFY(parsed.settings);
    Settings settings = *parsed.settings;
    settings.cfgPreviewSize = QStringLiteral("4"); // a menu choice made meanwhile

    const std::optional<QPointF> position =
        positionKnown ? std::optional(QPointF(3000, -45)) : std::nullopt;
    QCOMPARE(saveSettings(path, settings, position), std::nullopt);

    QList<QByteArray> expected = read;
    expected[1] = "4";
    expected[7] = expectedLeft;
    expected[8] = expectedTop;
    QCOMPARE(fileBytes(path), settingsBytes(expected));
}

void TestSettings::exitWithRememberingOffWritesNothing() {
    QTemporaryDir dir;
    const QString path = settingsPath(dir.path());
    const QByteArray original = settingsBytes(validWith(4, "1")); // the file says on...
    writeAll(path, original);
    Settings settings = *readSettingsFile(path).settings;
    settings.cfgKeepPos = QStringLiteral("0"); // ...but it was switched off in this run
    QCOMPARE(storeExitPosition(path, settings, QPointF(9000, 9000)), std::nullopt);
    QCOMPARE(fileBytes(path), original);
}

void TestSettings::exitRestoresFileChoicesAndStoresPosition() {
    QTemporaryDir dir;
    const QString path = settingsPath(dir.path());
    // The file says: preview " 3", remembering off.
    const QList<QByteArray> file = {"0", " 3", "1", "0", "0", "0", " 3", "1500", "1500"};
    writeAll(path, settingsBytes(file));
    Settings settings = *readSettingsFile(path).settings;
    // This run: another preview size, remembering switched on, not saved.
    settings.cfgPreviewSize = QStringLiteral("5");
    settings.cfgKeepPos = QStringLiteral("1");
    QCOMPARE(storeExitPosition(path, settings, QPointF(4500, 6000)), std::nullopt);

    QList<QByteArray> expected = file;
    expected[7] = "4500";
    expected[8] = "6000";
    QCOMPARE(fileBytes(path), settingsBytes(expected));
    QCOMPARE(settings.cfgKeepPos, QStringLiteral("0"));
}

void TestSettings::exitDropsLinesAfterTheNinth() {
    QTemporaryDir dir;
    const QString path = settingsPath(dir.path());
    writeAll(path, settingsBytes(validWith(4, "1") + QList<QByteArray>{"10", "11"}));
    Settings settings = *readSettingsFile(path).settings;
    QCOMPARE(storeExitPosition(path, settings, QPointF(15, 30)), std::nullopt);
    QList<QByteArray> expected = validWith(4, "1");
    expected[7] = "15";
    expected[8] = "30";
    QCOMPARE(fileBytes(path), settingsBytes(expected));
}

void TestSettings::exitWithShortOrMissingFileReportsIt() {
    QTemporaryDir dir;
    // A folder whose name looks like a message's placeholder.
    QVERIFY(QDir(dir.path()).mkdir(u"100%2 ok"_s));
    const QString path = settingsPath(dir.filePath(u"100%2 ok"_s));
    Settings settings = *parseSettings(settingsBytes(validWith(4, "1")), QString()).settings;

    // The file lost lines while the program ran.
    writeAll(path, settingsBytes(validLines().mid(0, 6)));
    const std::optional<QString> shortError = storeExitPosition(path, settings, QPointF());
    QVERIFY(shortError);
    QVERIFY2(shortError->contains(path) && shortError->contains(u" 6 "_s), qPrintable(*shortError));
    QCOMPARE(fileBytes(path), settingsBytes(validLines().mid(0, 6)));

    QVERIFY(QFile::remove(path));
    QVERIFY(storeExitPosition(path, settings, QPointF()).has_value());
    QVERIFY(!QFile::exists(path));
}

void TestSettings::failedWriteKeepsThePreviousFile_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason"); // what the message must also say
    QTest::newRow("folder immutable") << u"folder immutable"_s << QString();
    QTest::newRow("file immutable") << u"file immutable"_s << QString();
    // Refused also where our rights would allow replacing it (as root).
    QTest::newRow("file read-only (mode 444)") << u"file read-only"_s << u"読み取り専用"_s;
    QTest::newRow("disk full") << u"disk full"_s << u"No space left on device"_s;
}

void TestSettings::failedWriteKeepsThePreviousFile() {
    QFETCH(QString, how);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString folder = dir.path();
    std::function<void()> lift; // ends the condition
    bool mounted = false;
    const auto cleanUp = qScopeGuard([&] {
        if (lift)
            lift();
        if (mounted)
            QProcess::execute(u"umount"_s, {folder});
    });
    if (how == u"disk full"_s) {
        folder = dir.filePath(u"small"_s);
        QVERIFY(QDir().mkpath(folder));
        mounted = QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=64k"_s,
                                                 u"tmpfs"_s, folder}) == 0;
        if (!mounted)
            QSKIP("cannot mount a small file system here");
    }
    const QString path = settingsPath(folder);
    const QByteArray original = settingsBytes(validWith(4, "1"));
    writeAll(path, original);
    Settings settings = *readSettingsFile(path).settings;

    const QString filler = folder + u"/filler"_s;
    if (how == u"disk full"_s) {
        writeAll(filler, QByteArray(128 * 1024, '\0'));
        QCOMPARE(QStorageInfo(folder).bytesAvailable(), 0);
        lift = [filler] { QFile::remove(filler); };
    } else if (how == u"file read-only"_s) {
        QVERIFY(
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        lift = [path] { QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner); };
    } else {
        const QString target = how == u"folder immutable"_s ? folder : path;
        if (!makeImmutable(target, true))
            QSKIP("chattr +i is not available here");
        lift = [target] { makeImmutable(target, false); };
    }
    const QFile::Permissions mode = QFileInfo(path).permissions();
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    const std::optional<QString> saveError = saveSettings(path, settings, QPointF(60, 60));
    const std::optional<QString> exitError = storeExitPosition(path, settings, QPointF(75, 75));

    for (const std::optional<QString>& error : {saveError, exitError}) {
        QVERIFY(error);
        QVERIFY2(error->contains(path) && error->contains(reason), qPrintable(*error));
    }
    QCOMPARE(fileBytes(path), original);
    QCOMPARE(QFileInfo(path).permissions(), mode);
    // No new file left beside it.
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             entries);

    // Once the condition is gone, the same write goes through.
    lift();
    lift = nullptr;
    QCOMPARE(storeExitPosition(path, settings, QPointF(75, 75)), std::nullopt);
    QList<QByteArray> expected = validWith(4, "1");
    expected[7] = "75";
    expected[8] = "75";
    QCOMPARE(fileBytes(path), settingsBytes(expected));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
