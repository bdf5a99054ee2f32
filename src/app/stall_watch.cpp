#include "stall_watch.h"

#include <QSaveFile>
#include <QTimer>

namespace pomorina {

namespace {
constexpr int kTickMs = 10;
}

StallWatch::StallWatch(const QString& reportPath, QObject* parent)
    : QObject(parent), path_(reportPath), timer_(new QTimer(this)) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, &StallWatch::tick);
    clock_.start();
    timer_->start();
    report();
}

void StallWatch::tick() {
    const qint64 now = clock_.elapsed();
    const qint64 stall = now - last_ - kTickMs;
    last_ = now;
    ++ticks_;
    // Reported when it grows, and once a second so that the tick count shows
    // the loop is alive.
    if (stall > longest_) {
        longest_ = stall;
        report();
    } else if (ticks_ % 100 == 0) {
        report();
    }
}

void StallWatch::report() {
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QByteArray("max_stall_ms ") + QByteArray::number(longest_) + "\nticks " +
               QByteArray::number(ticks_) + "\n");
    file.commit();
}

} // namespace pomorina
