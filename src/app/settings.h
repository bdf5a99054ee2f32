#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace pomorina {

// The nine settings, one per line of the settings file, kept as the text of
// the line. Choices are stored as the decimal text of their menu index and
// switches as "1" or "0"; the position is in twips (15 to a pixel).
struct Settings {
    QString cfgTopmost;     // line 1: "1" keeps the main window above all others
    QString cfgPreviewSize; // line 2: 1..5, preview side 64 * n pixels
    QString cfgInterval;    // line 3: 1..6, poll interval
    QString cfgKeepPos;     // line 4: remember the window position at exit
    QString cfgSaveSize;    // line 5: 0..3, resolution of a saved picture
    QString cfgBackColor;   // line 6: 0 white, 1 black
    QString cfgAutoHide;    // line 7: 0..6, auto-hide delay
    QString cfgLeft;        // line 8: window left edge, twips
    QString cfgTop;         // line 9: window top edge, twips

    static constexpr int kLines = 9;

    // Line n (1-based) of the file.
    QString& line(int n);
    const QString& line(int n) const;

    bool operator==(const Settings&) const = default;
};

inline constexpr int kTwipsPerPixel = 15;

// A rejected settings file: the line it concerns (0 for the file as a whole)
// and what is wrong with it, ready to show to the user.
struct SettingsError {
    int line = 0;
    QString message;
};

struct ParsedSettings {
    std::optional<Settings> settings; // set when the file is usable
    SettingsError error;              // otherwise why not
};

// Splits a file into lines. A line ends at CR LF, at CR, or at a lone LF (the
// usual ending of files edited on this desktop); a final line without an
// ending still counts. A UTF-8 byte-order mark in front is skipped. Bytes are
// kept one to one (Latin-1), so that every line is written back unchanged.
QList<QString> splitSettingsLines(const QByteArray& bytes);

// The numeric value of a setting: a decimal number with optional sign,
// fraction and exponent, blanks around it allowed. Nothing for anything else.
std::optional<double> numericValue(QStringView text);

// The integer value: the numeric value rounded to the nearest integer, halves
// to the even neighbour. Nothing when it is not a number or out of 16-bit range.
std::optional<int> integerValue(QStringView text);

// Reads the nine settings from the file's bytes and checks them: every
// numeric line must hold a number and every choice an existing menu index.
// Lines after the ninth are ignored. `fileName` names the file in messages.
ParsedSettings parseSettings(const QByteArray& bytes, const QString& fileName);

// Nine lines, each ended by CR LF.
QByteArray formatSettings(const Settings& settings);

// A position as the decimal text of its single-precision value: at most seven
// significant digits, no blank, "-" when negative, no decimal point when whole.
QString formatPosition(float twips);

} // namespace pomorina
