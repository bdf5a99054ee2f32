#pragma once

#include <QImage>
#include <QPoint>
#include <QString>
#include <QtGlobal>

#include <optional>

class QWidget;

namespace pomorina {

// Which window the user is working in, seen from this program.
enum class Foreground {
    None,    // no window has the focus at all
    Main,    // our main window
    History, // our history window
    Other,   // any other window, ours (a message box) or another program's
};

// What the clipboard offers right now.
struct ClipboardFormats {
    bool text = false;   // plain text
    bool bitmap = false; // a picture
    bool any = false;    // anything at all, these or other formats
};

// Everything the program needs from outside its own process goes through this
// interface: the system clipboard, the focus, the pointer, the clock, the
// window manager's z-order, modal boxes and the executable's folder. The Qt
// implementation talks to the desktop; the scripted one lets tests drive whole
// handlers deterministically.
class Platform {
public:
    virtual ~Platform();

    // Clipboard -----------------------------------------------------------
    // A number that moves whenever the clipboard's content changes (our own
    // writes included), where the platform reports changes.
    virtual quint64 clipboardChangeCount() = 0;
    // False where changes are not reported: the content must then be read
    // again every time it is needed.
    virtual bool clipboardReportsChanges() = 0;
    // True while the content of the latest change is still on its way from
    // the program that holds the clipboard (or that program is not
    // answering). The reads below are then not to be made: the caller goes
    // on with what it read before and asks again later.
    virtual bool clipboardPending() = 0;
    // Asks the clipboard once for what it offers. Nothing is offered when the
    // list of formats cannot be had.
    virtual ClipboardFormats clipboardFormats() = 0;
    // The clipboard's text, or nothing when it offers none or cannot be read.
    virtual std::optional<QString> clipboardText() = 0;
    // The clipboard's picture; a null image when it offers none or it cannot
    // be read or decoded.
    virtual QImage clipboardImage() = 0;
    // Empties the clipboard of every format.
    virtual void clearClipboard() = 0;
    // Each replaces the whole clipboard content. False when it failed.
    virtual bool setClipboardText(const QString& text) = 0;
    virtual bool setClipboardImage(const QImage& image) = 0;

    // Windows ---------------------------------------------------------------
    virtual Foreground foregroundWindow(const QWidget* main, const QWidget* history) = 0;
    // Keeps `window` above all others, or puts it back among them. Shows the
    // window when it is hidden; never moves or resizes it.
    virtual void setTopmost(QWidget* window, bool on) = 0;
    // Pointer position in screen pixels.
    virtual QPoint cursorPos() = 0;
    // Milliseconds on a monotonic clock; never wraps.
    virtual qint64 tickCount() = 0;

    // Boxes ---------------------------------------------------------------
    // A modal box with OK and Cancel; true for OK. Closing the box is Cancel.
    virtual bool askOkCancel(QWidget* parent, const QString& text) = 0;
    // A modal error box.
    virtual void showError(QWidget* parent, const QString& text) = 0;

    // Files -----------------------------------------------------------------
    // The folder that holds the program's executable, without a trailing
    // separator.
    virtual QString executableDir() = 0;
};

} // namespace pomorina
