// Measures what one clipboard poll costs on the user-interface thread, and
// what taking in new large pictures costs the process, against real owners
// (xclip) on a real X server. Run it through bench/poll.sh.
#include "app/form1.h"
#include "capture/picture_box.h"
#include "history/form2.h"
#include "platform/clipboard_source.h"
#include "platform/qt_platform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <sys/types.h>
#include <vector>

using namespace pomorina;

namespace {

// The desktop as it is, with the program's folder elsewhere.
class BenchPlatform final : public Platform {
public:
    BenchPlatform(Platform& real, QString folder) : real_(real), folder_(std::move(folder)) {}
    ClipboardSource& clipboardSource() override { return real_.clipboardSource(); }
    Foreground foregroundWindow(const QWidget* m, const QWidget* h) override {
        return real_.foregroundWindow(m, h);
    }
    void setTopmost(QWidget* w, bool on) override { real_.setTopmost(w, on); }
    std::optional<QPoint> cursorPos() override { return real_.cursorPos(); }
    bool pointerOver(const QWidget* w) override { return real_.pointerOver(w); }
    bool knowsWindowPositions() override { return real_.knowsWindowPositions(); }
    void watchForeground(QObject* c, std::function<void()> f) override {
        real_.watchForeground(c, std::move(f));
    }
    bool watchPointerCrossings(QWidget* w, std::function<void()> f) override {
        return real_.watchPointerCrossings(w, std::move(f));
    }
    qint64 tickCount() override { return real_.tickCount(); }
    bool askOkCancel(QWidget* p, const QString& t) override { return real_.askOkCancel(p, t); }
    void showError(QWidget* p, const QString& t) override { real_.showError(p, t); }
    QString executableDir() override { return folder_; }

private:
    Platform& real_;
    QString folder_;
};

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

long rssKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Lets the clipboard's change notice arrive.
void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

// The xclip processes this bench started; each serves the clipboard in the
// background until another takes it over.
QList<qint64> xclipProcesses;

void xclip(const QStringList& args, const QString& file) {
    // -quiet keeps xclip in the foreground, so that its id is the owner's.
    QStringList all = {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                       QStringLiteral("clipboard")};
    all << args << QStringLiteral("-i") << file;
    QProcess process;
    process.setProgram(QStringLiteral("xclip"));
    process.setArguments(all);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (process.startDetached(&pid))
        xclipProcesses.append(pid);
    settle(400);
}

// Ends our own xclip processes, and no one else's.
void stopXclip() {
    for (const qint64 pid : std::as_const(xclipProcesses))
        ::kill(static_cast<pid_t>(pid), SIGTERM); // gone already if it lost the clipboard
    xclipProcesses.clear();
    settle(400);
}

QImage noisyPicture(int width, int height, quint32 seed) {
    QImage picture(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<quint32*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = (x * 7 + y * 3 + (random.generate() & 0x3f)) & 0xffffff;
    }
    return picture;
}

struct Measure {
    double median;
    double max;
};

// CPU milliseconds per tick over `ticks` polls, after one warm-up poll.
Measure perTick(Form1& form, int ticks) {
    form.poll().readclip();
    std::vector<double> costs;
    for (int i = 0; i < ticks; ++i) {
        const double start = threadCpuSeconds();
        form.poll().readclip();
        costs.push_back((threadCpuSeconds() - start) * 1000.0);
    }
    std::sort(costs.begin(), costs.end());
    return {costs[costs.size() / 2], costs.back()};
}

std::unique_ptr<Form1> makeForm(Platform& platform) {
    auto form = std::make_unique<Form1>(platform);
    if (form->Form_Load())
        return nullptr;
    // The bench drives the polls itself; no write-back either, which would
    // put the text back on an emptied clipboard.
    form->holdTimers();
    form->hide(); // so that another window counts as in front
    return form;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QFile settings(dir.filePath(QStringLiteral("設定.ini")));
    if (!settings.open(QIODevice::WriteOnly))
        return 1;
    settings.write("0\r\n3\r\n1\r\n0\r\n0\r\n0\r\n0\r\n1500\r\n1500\r\n");
    settings.close();

    QtPlatform desktop;
    BenchPlatform real(desktop, dir.path());
    auto tracked = makeForm(real);
    if (!tracked)
        return 1;

    const QString picturePath = dir.filePath(QStringLiteral("4k.png"));
    noisyPicture(3840, 2160, 1).save(picturePath);
    const QString textPath = dir.filePath(QStringLiteral("5mb.txt"));
    {
        QFile text(textPath);
        if (!text.open(QIODevice::WriteOnly))
            return 1;
        QByteArray line = "クリップボードの一行 clipboard line 0123456789\n";
        while (text.size() < 5 * 1024 * 1024)
            text.write(line);
    }

    const int ticks = argc > 1 ? std::atoi(argv[1]) : 20;
    std::printf(
        "CPU time of the user-interface thread per poll tick, median (max) of %d ticks, ms\n",
        ticks);
    std::printf("%-28s %20s\n", "clipboard", "per tick");
    auto row = [&](const char* name) {
        const Measure a = perTick(*tracked, ticks);
        std::printf("%-28s %11.3f (%6.3f)\n", name, a.median, a.max);
        std::fflush(stdout);
    };

    xclip({QStringLiteral("-t"), QStringLiteral("image/png")}, picturePath);
    row("3840x2160 picture (xclip)");
    xclip({}, textPath);
    row("5 MB text (xclip)");
    stopXclip();
    row("empty");

    // Taking in new 4K pictures: CPU of the whole process from the copy to
    // the end of the poll that finds the picture (the background read and
    // decoding included), and of that poll on the user-interface thread.
    std::printf("\nTaking in new 3840x2160 pictures (read, test, draw, push, thumbnails)\n");
    const long idleRss = rssKiB();
    for (int n = 0; n < 6; ++n) {
        const QString path = dir.filePath(QStringLiteral("new%1.png").arg(n));
        noisyPicture(3840, 2160, 100 + n).save(path);
        const double start = cpuSeconds();
        xclip({QStringLiteral("-t"), QStringLiteral("image/png")}, path);
        while (real.clipboardSource().pending())
            QCoreApplication::processEvents();
        const double pollStart = threadCpuSeconds();
        tracked->poll().readclip();
        std::printf("  picture %d: %.3f CPU-s in all, %.3f CPU-s of it in the poll\n", n + 1,
                    cpuSeconds() - start, threadCpuSeconds() - pollStart);
    }
    int inHistory = 0;
    for (int slot = 0; slot < HistoryStore::kSlots; ++slot) {
        if (!tracked->history()->store.picture(slot).isNull())
            ++inHistory;
    }
    std::printf("  pictures in the history: %d of 6\n", inHistory);
    std::printf("  resident memory: %ld MiB before, %ld MiB after the six\n", idleRss / 1024,
                rssKiB() / 1024);
    stopXclip();
    return 0;
}
