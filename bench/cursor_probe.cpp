// A window of the main window's size that reports what Qt tells the program
// about the pointer and the focus: every 50 ms, when something changed, one
// line "ms cursor_x cursor_y active frame_x frame_y client_x client_y w h"
// on stdout. Started by wayland_windows.py under the program's own name, so
// that a compositor treats it like the program's main window.
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("cursor probe"));
    window.resize(196, 219);
    window.show();
    // As the program places its window from lines 8 and 9: once shown.
    window.windowHandle()->setFramePosition(QPoint(200, 100));

    QElapsedTimer clock;
    clock.start();
    QByteArray last;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const QPoint cursor = QCursor::pos();
        const QRect frame = window.frameGeometry();
        const QRect client = window.geometry();
        const QByteArray line =
            QByteArray::number(cursor.x()) + ' ' + QByteArray::number(cursor.y()) + ' ' +
            QByteArray::number(QApplication::activeWindow() == &window ? 1 : 0) + ' ' +
            QByteArray::number(frame.x()) + ' ' + QByteArray::number(frame.y()) + ' ' +
            QByteArray::number(client.x()) + ' ' + QByteArray::number(client.y()) + ' ' +
            QByteArray::number(client.width()) + ' ' + QByteArray::number(client.height());
        if (line != last) {
            std::printf("%lld %s\n", static_cast<long long>(clock.elapsed()), line.constData());
            std::fflush(stdout);
            last = line;
        }
    });
    timer.start(50);
    return app.exec();
}
