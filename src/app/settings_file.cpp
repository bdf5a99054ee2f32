#include "settings_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace pomorina {

namespace {

// A settings file is nine short lines; anything far larger is not one.
constexpr qint64 kMaxSettingsBytes = 64 * 1024;

std::optional<QByteArray> readBytes(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("設定ファイル %1 を開けません（%2）。").arg(path, file.errorString());
        return std::nullopt;
    }
    return file.read(kMaxSettingsBytes);
}

bool isReadOnly(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.permissions().testFlag(QFileDevice::WriteOwner);
}

void takePosition(Settings& settings, QPointF windowTwips) {
    settings.cfgLeft = formatPosition(static_cast<float>(windowTwips.x()));
    settings.cfgTop = formatPosition(static_cast<float>(windowTwips.y()));
}

} // namespace

QString settingsPath(const QString& executableDir) {
    return executableDir + QLatin1Char('/') + kSettingsFileName;
}

ParsedSettings readSettingsFile(const QString& path) {
    QString error;
    const std::optional<QByteArray> bytes = readBytes(path, &error);
    if (!bytes)
        return {std::nullopt, {0, error}};
    return parseSettings(*bytes, QFileInfo(path).fileName());
}

std::optional<QString> writeSettingsFile(const QString& path, const Settings& settings) {
    // A settings file without write permission was made read-only on purpose,
    // to keep it as it is: it is not replaced even where our rights would
    // allow it (as root), and the user is told why.
    if (isReadOnly(path)) {
        return QStringLiteral("設定ファイル %1 は読み取り専用なので書き換えません。"
                              "前の内容はそのまま残っています。")
            .arg(path);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QStringLiteral(
                   "設定ファイル %1 を書き込めません（%2）。前の内容はそのまま残っています。")
            .arg(path, file.errorString());
    }
    file.write(formatSettings(settings));
    // The nine lines wait in the buffer until the file is closed, and commit()
    // takes no notice of a write that fails there: on a full disk it would put
    // an empty file in place of the old one. Flushing first shows the failure;
    // the new file is then discarded.
    if (!file.flush() || !file.commit()) {
        return QStringLiteral(
                   "設定ファイル %1 を保存できません（%2）。前の内容はそのまま残っています。")
            .arg(path, file.errorString());
    }
    return std::nullopt;
}

std::optional<QString> saveSettings(const QString& path, Settings& settings,
                                    std::optional<QPointF> windowTwips) {
    if (settings.cfgKeepPos == QLatin1String("1") && windowTwips)
        takePosition(settings, *windowTwips);
    return writeSettingsFile(path, settings);
}

std::optional<QString> storeExitPosition(const QString& path, Settings& settings,
                                         std::optional<QPointF> windowTwips) {
    if (settings.cfgKeepPos != QLatin1String("1") || !windowTwips)
        return std::nullopt;
    QString error;
    const std::optional<QByteArray> bytes = readBytes(path, &error);
    if (!bytes)
        return error;
    const QList<QString> lines = splitSettingsLines(*bytes);
    constexpr int kKeptLines = 7;
    if (lines.size() < kKeptLines) {
        return QStringLiteral("設定ファイル %1 には %2 行しかなく、位置を保存できません。")
            .arg(path, QString::number(lines.size()));
    }
    for (int n = 1; n <= kKeptLines; ++n)
        settings.line(n) = lines[n - 1];
    takePosition(settings, *windowTwips);
    return writeSettingsFile(path, settings);
}

} // namespace pomorina
