#pragma once

#include "settings.h"

#include <QPointF>

namespace pomorina {

// The settings file lives beside the executable, under one fixed name.
inline const QString kSettingsFileName = QStringLiteral("設定.ini");
QString settingsPath(const QString& executableDir);

// Reads and checks the whole file; a missing or unreadable file is an error
// of line 0.
ParsedSettings readSettingsFile(const QString& path);

// Writes the nine settings, each line ended by CR LF. The new content goes to
// a file beside the old one that then replaces it in one step, so a failed
// write leaves the previous file as it was; a read-only file is never
// replaced. Returns the error, if any.
std::optional<QString> writeSettingsFile(const QString& path, const Settings& settings);

// "設定を保存": with remembering on ("1"), the position first becomes the
// window's current one; then all nine settings are written. Where the window's
// position cannot be known (`windowTwips` empty), lines 8 and 9 stay as read:
// no position is better than a wrong one.
std::optional<QString> saveSettings(const QString& path, Settings& settings,
                                    std::optional<QPointF> windowTwips);

// Leaving the program: with remembering on ("1") only the position is stored.
// Lines 1 to 7 are read back from the file (dropping the menu choices made
// since the last save), the position becomes the window's current one and the
// file is written. With remembering off, or with no position known, nothing
// is touched.
std::optional<QString> storeExitPosition(const QString& path, Settings& settings,
                                         std::optional<QPointF> windowTwips);

} // namespace pomorina
