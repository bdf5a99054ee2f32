// A drag source for tests: a small window that drags the files named on its
// command line, as a file manager does, when a mouse button is pressed on it.
//
//   drag_source [--title T] [--propose copy|move|move-only] FILE...
//
// The drag offers the files as a URL list (text/uri-list) with the copy
// action proposed, or the move action (as a file manager does on Shift+drag),
// or the move action alone. As a file manager, it deletes the files when the
// drag ends as a move. The window is titled T ("drag source" by default). It
// prints "ready" once its window is shown, and "drag ended N" when the drag is
// over, N being the action QDrag::exec reports (0 none, 1 copy, 2 move,
// 4 link; across processes it follows the target's last answer while the
// pointer moved, not whether the drop itself was taken);
// it exits with 0 five seconds later: the target fetches the dropped data
// from the source after the drop, so the source must still be there then.
// It exits with 2 on a bad command line.
#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <utility>

namespace {

constexpr int kLinger = 5000; // ms between the end of the drag and the exit

class DragSource : public QWidget {
public:
    DragSource(QList<QUrl> urls, Qt::DropActions offered, Qt::DropAction proposed)
        : urls_(std::move(urls)), offered_(offered), proposed_(proposed) {
        setFixedSize(120, 120);
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, QColor(40, 120, 200));
        setPalette(colours);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (dragging_)
            return;
        dragging_ = true;
        event->accept();
        auto* data = new QMimeData;
        data->setUrls(urls_);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        const Qt::DropAction taken = drag->exec(offered_, proposed_);
        if (taken == Qt::MoveAction) {
            for (const QUrl& url : std::as_const(urls_))
                QFile::remove(url.toLocalFile());
        }
        std::printf("drag ended %d\n", static_cast<int>(taken));
        std::fflush(stdout);
        QTimer::singleShot(kLinger, qApp, &QCoreApplication::quit);
    }

private:
    QList<QUrl> urls_;
    Qt::DropActions offered_;
    Qt::DropAction proposed_;
    bool dragging_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString title = QStringLiteral("drag source");
    QList<QUrl> urls;
    Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    Qt::DropAction proposed = Qt::CopyAction;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--title") && i + 1 < args.size()) {
            title = args[++i];
            continue;
        }
        if (args[i] == QLatin1String("--propose") && i + 1 < args.size()) {
            const QString action = args[++i];
            if (action != QLatin1String("copy"))
                proposed = Qt::MoveAction;
            if (action == QLatin1String("move-only"))
                offered = Qt::MoveAction;
            continue;
        }
        urls.append(QUrl::fromLocalFile(QFileInfo(args[i]).absoluteFilePath()));
    }
    if (urls.isEmpty()) {
        std::fprintf(stderr,
                     "usage: drag_source [--title T] [--propose copy|move|move-only] FILE...\n");
        return 2;
    }
    DragSource window(urls, offered, proposed);
    window.setWindowTitle(title);
    window.show();
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
