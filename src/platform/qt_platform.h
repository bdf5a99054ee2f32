#pragma once

#include "clipboard_source.h"
#include "platform.h"

#include <QElapsedTimer>

#include <memory>

namespace pomorina {

// The desktop as Qt sees it, with the clipboard backend that suits it.
class QtPlatform final : public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

    ClipboardSource& clipboardSource() override { return *clipboard_; }

    Foreground foregroundWindow(const QWidget* main, const QWidget* history) override;
    void setTopmost(QWidget* window, bool on) override;
    std::optional<QPoint> cursorPos() override;
    bool pointerOver(const QWidget* window) override;
    bool knowsWindowPositions() override;
    void watchForeground(QObject* context, std::function<void()> changed) override;
    bool watchPointerCrossings(QWidget* window, std::function<void()> crossed) override;
    qint64 tickCount() override;

    bool askOkCancel(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;

    QString executableDir() override;

private:
    std::unique_ptr<ClipboardSource> clipboard_;
    QElapsedTimer clock_;
};

} // namespace pomorina
