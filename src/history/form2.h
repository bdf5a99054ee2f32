#pragma once

#include "capture/capture_host.h"
#include "history/history_host.h"
#include "history/history_store.h"

#include <QWidget>

#include <array>

class QPlainTextEdit;
class QTimer;

namespace pomorina {

class ClipboardPoll;
class PictureBox;
class Platform;

// The history window "履歴": the six newest pictures as thumbnails above the
// six newest texts. It hides itself as soon as another window comes to the
// front, giving the main window back its place and size. It holds the
// history, which the poll pushes into.
class Form2 : public QWidget, public HistorySink {
    Q_OBJECT
public:
    // `mainWindow` is the window it steps aside for; `poll` takes the entries
    // chosen or edited here.
    Form2(Platform& platform, QWidget& mainWindow, ClipboardPoll& poll, HistoryHost& host);
    ~Form2() override;

    const HistoryStore& store() const { return store_; }

    // Opening from the main window's menu: the watch starts and the window
    // comes to the front.
    void open();

    // The watch: every 100 ms while the window is shown.
    void Timer1_Timer();
    // A text slot changed: the main window's text view takes its text.
    void Text1_Change(int index);
    // A slot clicked: its entry comes back.
    void Picture1_Click(int index);
    void Text1_Click(int index);

    PictureBox* Picture1(int index) const { return thumbnails_.at(index); }
    QPlainTextEdit* Text1(int index) const { return texts_.at(index); }
    QTimer* Timer1() const { return watch_; }

    // HistorySink
    bool shown() const override { return isVisible(); }
    void pushText(const QString& newest) override;
    void pushPicture(const HeldPicture& newest) override;
    void followEdit(const QString& text) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing from the title bar hides the window the way the watch does;
    // the history stays.
    void closeEvent(QCloseEvent* event) override;

private:
    // Shows the store's texts; none of the slots' change handlers runs.
    void showTexts();
    void drawThumbnail(int slot);
    void closeByWatch();
    void watchTicked();

    Platform& platform_;
    QWidget& mainWindow_;
    ClipboardPoll& poll_;
    HistoryHost& host_;
    HistoryStore store_;
    std::array<PictureBox*, HistoryStore::kSlots> thumbnails_{};
    std::array<QPlainTextEdit*, HistoryStore::kSlots> texts_{};
    QTimer* watch_ = nullptr;
    // The slots' texts are being set by the program: their change handlers,
    // which run inside, must not take it for an edit.
    bool quiet_ = false;
    std::array<QString, HistoryStore::kSlots> shown_;          // what each text box was given
    std::array<QImage, HistoryStore::kSlots> thumbnailsDrawn_; // what each picture box shows
};

} // namespace pomorina
