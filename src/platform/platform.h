#pragma once

#include <QPoint>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

class QObject;
class QWidget;

namespace pomorina {

class ClipboardSource;

// Which window the user is working in, seen from this program.
enum class Foreground {
    None,    // no window has the focus at all
    Main,    // our main window
    History, // our history window
    Other,   // any other window, ours (a message box) or another program's
};

// Everything the program needs from outside its own process goes through this
// interface: the system clipboard, the focus, the pointer, the clock, the
// window manager's z-order, modal boxes and the executable's folder. The Qt
// implementation talks to the desktop; the scripted one lets tests drive whole
// handlers deterministically.
class Platform {
public:
    virtual ~Platform();

    // The system clipboard: its changes, its content and writing to it.
    virtual ClipboardSource& clipboardSource() = 0;

    // Windows ---------------------------------------------------------------
    virtual Foreground foregroundWindow(const QWidget* main, const QWidget* history) = 0;
    // Keeps `window` above all others, or puts it back among them. Shows the
    // window when it is hidden; never moves or resizes it.
    virtual void setTopmost(QWidget* window, bool on) = 0;
    // Pointer position in screen pixels; nothing where the desktop keeps it
    // to itself (Wayland).
    virtual std::optional<QPoint> cursorPos() = 0;
    // Whether the pointer is over `window`, as its entering and leaving tell.
    virtual bool pointerOver(const QWidget* window) = 0;
    // Whether a window's position on the screen can be known (and set).
    virtual bool knowsWindowPositions() = 0;
    // Calls `changed`, for as long as `context` lives, whenever the window
    // the user works in may have changed.
    virtual void watchForeground(QObject* context, std::function<void()> changed) = 0;
    // Calls `crossed` whenever the pointer enters or leaves `window` (with
    // the frame round it, where the desktop draws one) and returns true;
    // false where the desktop does not tell: the pointer must then be looked
    // at now and then.
    virtual bool watchPointerCrossings(QWidget* window, std::function<void()> crossed) = 0;
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
