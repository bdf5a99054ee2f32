#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTimer;

namespace pomorina {

// A diagnostic: measures how long the event loop went without running, by a
// 10 ms timer that notes how late each of its ticks came. The longest stall
// so far is written to a file whenever it grows, so that a test or a
// developer can watch it while the program runs.
class StallWatch : public QObject {
    Q_OBJECT
public:
    StallWatch(const QString& reportPath, QObject* parent = nullptr);

private:
    void tick();
    void report();

    QString path_;
    QTimer* timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    qint64 ticks_ = 0;
};

} // namespace pomorina
