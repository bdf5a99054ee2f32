#include "qt_platform.h"

#include "clipboard_choice.h"
#include "x11_pointer_crossings.h"
#include "window_platform.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QMessageBox>
#include <QWidget>
#include <QWindow>

namespace pomorina {

QtPlatform::QtPlatform() : clipboard_(chooseClipboardSource()) {
    clock_.start();
}

QtPlatform::~QtPlatform() = default;

Foreground QtPlatform::foregroundWindow(const QWidget* main, const QWidget* history) {
    const QWidget* active = QApplication::activeWindow();
    if (active == nullptr) {
        // Qt reports no active window of ours while another program has the
        // focus; a desktop without any focused window cannot be told apart.
        return Foreground::Other;
    }
    if (active == main)
        return Foreground::Main;
    if (history != nullptr && active == history)
        return Foreground::History;
    return Foreground::Other;
}

void QtPlatform::setTopmost(QWidget* window, bool on) {
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (window->windowHandle() != nullptr) {
        // Changing the flag through the native window updates the window
        // manager's state in place; QWidget::setWindowFlags would hide and
        // re-create the window.
        window->overrideWindowFlags(flags);
        window->windowHandle()->setFlags(flags);
    } else {
        window->setWindowFlags(flags);
    }
    if (!window->isVisible())
        window->show();
}

namespace {
// A Wayland client learns nothing of the screen outside its own windows: not
// where the pointer is, nor where its windows are. Through Xwayland it is no
// better: the pointer is followed only over X11 windows, and the compositor
// places windows as it likes.
bool onWayland() {
    return waylandSession() || QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
} // namespace

std::optional<QPoint> QtPlatform::cursorPos() {
    if (onWayland())
        return std::nullopt;
    return QCursor::pos();
}

bool QtPlatform::pointerOver(const QWidget* window) {
    return window->underMouse();
}

bool QtPlatform::knowsWindowPositions() {
    return !onWayland();
}

void QtPlatform::watchForeground(QObject* context, std::function<void()> changed) {
    QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, context,
                     [changed = std::move(changed)] { changed(); });
}

namespace {
// The window's own entering and leaving, where that is all there is to know.
class EnterLeaveFilter : public QObject {
public:
    EnterLeaveFilter(QWidget* window, std::function<void()> crossed)
        : QObject(window), crossed_(std::move(crossed)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Enter || event->type() == QEvent::Leave)
            crossed_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> crossed_;
};
} // namespace

bool QtPlatform::watchPointerCrossings(QWidget* window, std::function<void()> crossed) {
    if (onWayland()) {
        new EnterLeaveFilter(window, std::move(crossed));
        return true;
    }
    return watchX11PointerCrossings(window, std::move(crossed));
}

qint64 QtPlatform::tickCount() {
    return clock_.elapsed();
}

bool QtPlatform::askOkCancel(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void QtPlatform::showError(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("ポモリナ"), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

QString QtPlatform::executableDir() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath());
}

} // namespace pomorina
