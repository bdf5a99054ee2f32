#pragma once

#include <QObject>

#include <functional>

namespace pomorina {

// Takes files dropped on the widgets it watches: the first file of a drop
// goes to `dropped`. A drop is always taken as a copy, since a source told
// "moved" deletes the user's file; a source that can only move is refused,
// and so is anything but local files.
class DropTarget : public QObject {
public:
    DropTarget(QObject* parent, std::function<void(const QString& path)> dropped);
    // Starts watching `widget`.
    void watch(QObject* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QString&)> dropped_;
};

} // namespace pomorina
