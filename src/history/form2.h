#pragma once

#include "history/history_store.h"

#include <QWidget>

#include <array>

class QPlainTextEdit;
class QTimer;

namespace pomorina {

class Form1;
class PictureBox;
class Platform;

// The history window "履歴": the six newest pictures as thumbnails above the
// six newest texts. It hides itself as soon as another window comes to the
// front, giving the main window back its place and size.
class Form2 : public QWidget {
    Q_OBJECT
public:
    Form2(Platform& platform, Form1& main);
    ~Form2() override;

    // The history the window shows.
    HistoryStore store;

    // Shows the store's texts; none of the slots' change handlers runs.
    void showTexts();
    // After a picture push: the older thumbnails move one box on as they
    // are, and only the newest is made from its full-size picture.
    void showPushedThumbnail();
    // Sets one text slot, running its change handler as an edit would.
    void setSlotText(int index, const QString& text);

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

    std::array<PictureBox*, HistoryStore::kSlots> Picture1{};  // thumbnails
    std::array<QPlainTextEdit*, HistoryStore::kSlots> Text1{}; // text slots
    QTimer* Timer1 = nullptr;

signals:
    void pictureSlotClicked(int index);
    void textSlotClicked(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing from the title bar hides the window the way the watch does;
    // the history stays.
    void closeEvent(QCloseEvent* event) override;

private:
    void closeByWatch();

    Platform& platform_;
    Form1& main_;
    bool quiet_ = false;                              // slot texts being set without their handlers
    std::array<QString, HistoryStore::kSlots> shown_; // what each text box was given
    std::array<QImage, HistoryStore::kSlots> thumbnails_; // what each picture box shows
    void drawThumbnail(int slot);
};

} // namespace pomorina
