#pragma once

#include "platform.h"

#include <QElapsedTimer>

#include <functional>

class QMimeData;

namespace pomorina {

// The desktop as Qt sees it.
class QtPlatform final : public Platform {
public:
    QtPlatform();

    quint64 clipboardChangeCount() override { return changes_; }
    bool clipboardReportsChanges() override;
    ClipboardFormats clipboardFormats() override;
    std::optional<QString> clipboardText() override;
    QImage clipboardImage() override;
    void clearClipboard() override;
    bool setClipboardText(const QString& text) override;
    bool setClipboardImage(const QImage& image) override;

    Foreground foregroundWindow(const QWidget* main, const QWidget* history) override;
    void setTopmost(QWidget* window, bool on) override;
    QPoint cursorPos() override;
    qint64 tickCount() override;

    bool askOkCancel(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;

    QString executableDir() override;

private:
    // Puts new data on the clipboard and makes sure it took.
    bool claimClipboard(const std::function<void(QMimeData*)>& fill);

    QElapsedTimer clock_;
    quint64 changes_ = 0;
    bool claiming_ = false;
};

} // namespace pomorina
