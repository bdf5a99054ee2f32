// What the two file commands cost, on the scripted platform and a temporary
// program folder: "画像を保存" of a 3840x2160 picture at 1600*1200 (the
// handler with an OK answer: fit, draw, write Image.bmp beside the old one and
// replace it) and the load of a dropped 20-line text file, each with the peak
// memory it adds; on request also the drop of one long line without CR.
//
//   cmake --build build --target bench_files
//   build/bench/bench_files            # the save and the 20-line drop
//   build/bench/bench_files 256        # and a 256 KiB line without CR
//
// Runs headless (QT_QPA_PLATFORM=offscreen unless set otherwise).
#include "app/form1.h"
#include "app/settings_file.h"
#include "capture/picture_box.h"
#include "files/dropped_file.h"
#include "support/fake_platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace pomorina;

namespace {

constexpr int kRuns = 5;

// A field of /proc/self/status in KiB, or -1.
long statusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Lets the peak resident size start again from the current one.
bool resetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

struct Figures {
    double medianMs;
    double minMs;
    double maxMs;
    long rssKiB;      // resident size before the first run
    long coldPeakKiB; // peak while the first (untimed) run went
    long warmPeakKiB; // peak while the timed runs went, after a reset
    bool peakReset;   // the peak could be reset between the two
};

// Runs `run` once untimed, then kRuns times timed, after `prepare` for each
// run; and the peak resident size reached by the first run and by the
// timed ones.
Figures measure(const std::function<void(int)>& prepare, const std::function<void()>& run) {
    const long rss = statusKiB("VmRSS");
    const bool reset = resetPeak();
    prepare(-1);
    run(); // the first run: plugins, caches, first allocations
    const long coldPeak = statusKiB("VmHWM");
    const bool resetAgain = resetPeak();
    std::vector<double> ms;
    for (int i = 0; i < kRuns; ++i) {
        prepare(i);
        QElapsedTimer clock;
        clock.start();
        run();
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    const long warmPeak = statusKiB("VmHWM");
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back(), rss, coldPeak, warmPeak, reset && resetAgain};
}

void print(const char* what, const Figures& f) {
    std::printf("%s\n  median %.2f ms (min %.2f, max %.2f) of %d runs\n"
                "  resident before %ld KiB; peak in the first run %ld KiB (+%ld), "
                "in the timed runs %ld KiB (+%ld)%s\n",
                what, f.medianMs, f.minMs, f.maxMs, kRuns, f.rssKiB, f.coldPeakKiB,
                f.coldPeakKiB - f.rssKiB, f.warmPeakKiB, f.warmPeakKiB - f.rssKiB,
                f.peakReset ? "" : " [peaks not reset: lifetime peaks]");
    std::fflush(stdout);
}

QImage photoLike(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 255) / width, (y * 255) / height, ((x ^ y) & 0xFF));
    }
    return picture;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir folder;
    QTemporaryDir drops;
    if (!folder.isValid() || !drops.isValid())
        return 1;
    // Not on top, 192 preview, 500 ms, position not kept, 1600*1200 save,
    // white back colour, no auto-hide.
    {
        QFile settings(settingsPath(folder.path()));
        if (!settings.open(QIODevice::WriteOnly))
            return 1;
        settings.write("0\r\n3\r\n1\r\n0\r\n3\r\n0\r\n0\r\n1500\r\n1500\r\n");
    }
    FakePlatform platform;
    platform.folder = folder.path();
    platform.foreground = Foreground::Other;
    Form1 form(platform);
    if (form.Form_Load())
        return 1;
    form.holdTimers();

    // The save.
    platform.setClipboard({{}, photoLike(3840, 2160), false});
    form.Timer1_Timer();
    const Figures save =
        measure([&](int) { platform.okCancelAnswers = {true}; }, [&] { form.gsave_Click(); });
    print("save of a 3840x2160 picture as a 1600*1200 Image.bmp", save);
    const QImage saved(folder.filePath(QStringLiteral("Image.bmp")));
    if (saved.size() != QSize(1600, 1200) || !platform.errorsShown.isEmpty()) {
        std::fprintf(stderr, "the save did not write a 1600x1200 Image.bmp\n");
        return 1;
    }

    // 20-line text drops, each file new to the poll.
    std::vector<QString> texts;
    for (int i = -1; i < kRuns; ++i) {
        QByteArray bytes;
        for (int line = 0; line < 20; ++line)
            bytes += "Run " + QByteArray::number(i) + ", line " + QByteArray::number(line) +
                     ": the quick brown fox jumps over the lazy dog 0123456789\r\n";
        const QString path = drops.filePath(QStringLiteral("text%1.txt").arg(i + 1));
        if (!writeFile(path, bytes))
            return 1;
        texts.push_back(path);
    }
    QString next;
    const Figures textDrop = measure([&](int i) { next = texts[static_cast<size_t>(i + 1)]; },
                                     [&] { form.OLEDragDrop(next); });
    if (!platform.errorsShown.isEmpty() || form.pane().text().count(QStringLiteral("\r\n")) != 20) {
        std::fprintf(stderr, "the text drop did not take 20 lines\n");
        return 1;
    }

    print("drop of a 20-line text file (1.5 KiB)", textDrop);

    // On request: one line without CR of the given size in KiB, read up to
    // 16 MiB.
    if (argc < 2)
        return 0;
    const qint64 longKiB = QByteArray(argv[1]).toLongLong();
    if (longKiB <= 0)
        return 1;
    const qint64 taken = std::min<qint64>(longKiB * 1024, kDroppedTextReadLimit);
    const QString big = drops.filePath(QStringLiteral("big.txt"));
    if (!writeFile(big, QByteArray(longKiB * 1024, 'x')))
        return 1;
    const Figures bigDrop = measure(
        [&](int) {
            // Something else in between, so that every drop is new text.
            platform.setClipboard({QStringLiteral("between"), {}, false});
            form.Timer1_Timer();
        },
        [&] { form.OLEDragDrop(big); });
    if (!platform.errorsShown.isEmpty() || form.pane().text().size() != taken + 2) {
        std::fprintf(stderr, "the long line was not bounded to 16 MiB\n");
        return 1;
    }

    const QByteArray what = "drop of a " + QByteArray::number(longKiB) + " KiB text without CR";
    print(what.constData(), bigDrop);
    return 0;
}
