#include "history/form2.h"

#include "capture/clipboard_poll.h"
#include "capture/picture_box.h"
#include "capture/text_box.h"
#include "platform/platform.h"

#include <QCloseEvent>
#include <QEvent>
#include <QPlainTextEdit>
#include <QTimer>

namespace pomorina {

namespace {

constexpr int kClientWidth = 636;
constexpr int kClientHeight = 219;
constexpr int kSlotLefts[HistoryStore::kSlots] = {8, 112, 216, 320, 424, 528};
constexpr int kThumbnailTop = 8;
constexpr int kTextTop = 112;
constexpr int kWatchTick = 100;

} // namespace

Form2::Form2(Platform& platform, QWidget& mainWindow, ClipboardPoll& poll, HistoryHost& host)
    : QWidget(nullptr, Qt::Window), platform_(platform), mainWindow_(mainWindow), poll_(poll),
      host_(host) {
    setWindowTitle(QStringLiteral("履歴"));
    setFixedSize(kClientWidth, kClientHeight);
    for (int i = 0; i < HistoryStore::kSlots; ++i) {
        thumbnails_[i] = new PictureBox(this);
        thumbnails_[i]->setGeometry(kSlotLefts[i], kThumbnailTop, HistoryStore::thumbBoxSize,
                                    HistoryStore::thumbBoxSize);
        connect(thumbnails_[i], &PictureBox::clicked, this, [this, i] { Picture1_Click(i); });

        texts_[i] = new QPlainTextEdit(this);
        prepareTextBox(texts_[i]);
        texts_[i]->setGeometry(kSlotLefts[i], kTextTop, HistoryStore::thumbBoxSize,
                               HistoryStore::thumbBoxSize);
        texts_[i]->viewport()->installEventFilter(this);
        connect(texts_[i], &QPlainTextEdit::textChanged, this, [this, i] {
            if (quiet_)
                return;
            shown_[i] = textOf(texts_[i]);
            store_.setText(i, shown_[i]);
            Text1_Change(i);
        });
    }
    watch_ = new QTimer(this);
    watch_->setInterval(kWatchTick);
    connect(watch_, &QTimer::timeout, this, &Form2::watchTicked);
    // The watch sleeps while the history window is in front: only a focus
    // change can end that, and it wakes the watch at once.
    platform_.watchForeground(this, [this] {
        if (isVisible() && !watch_->isActive()) {
            watch_->start();
            watchTicked();
        }
    });
}

void Form2::watchTicked() {
    Timer1_Timer();
    if (isVisible())
        watch_->stop();
}

Form2::~Form2() = default;

void Form2::showTexts() {
    quiet_ = true;
    for (int i = 0; i < HistoryStore::kSlots; ++i) {
        if (shown_[i] == store_.text(i))
            continue;
        shown_[i] = store_.text(i);
        showInBox(texts_[i], shown_[i]);
    }
    quiet_ = false;
}

void Form2::pushText(const QString& newest) {
    // The queue moves in the store; the window then shows it without running
    // any slot's change handler, so nothing writes into a slot meanwhile.
    store_.pushtext();
    store_.setText(0, newest);
    showTexts();
}

void Form2::pushPicture(const HeldPicture& newest) {
    store_.pushimage(newest);
    // The older thumbnails move one box on as they are; only the newest is
    // made from its full-size picture.
    for (int i = HistoryStore::kSlots - 1; i > 0; --i)
        thumbnailsDrawn_[i] = thumbnailsDrawn_[i - 1];
    thumbnailsDrawn_[0] = store_.thumbnail(0, thumbnails_[0]->backColor(), devicePixelRatioF());
    for (int i = 0; i < HistoryStore::kSlots; ++i)
        drawThumbnail(i);
}

void Form2::followEdit(const QString& text) {
    store_.setText(0, text);
    showTexts();
}

void Form2::drawThumbnail(int slot) {
    // The thumbnail includes the box's frame; the canvas starts inside it.
    const QImage& thumbnail = thumbnailsDrawn_[slot];
    thumbnails_[slot]->clear();
    thumbnails_[slot]->drawPicture(
        thumbnail, QRectF(QPointF(-HistoryStore::thumbFrame, -HistoryStore::thumbFrame),
                          thumbnail.deviceIndependentSize()));
}

void Form2::Text1_Change(int index) {
    poll_.takeSlotEdit(store_.text(index));
}

void Form2::Picture1_Click(int index) {
    const HeldPicture& picture = store_.held(index);
    if (!picture.isNull()) // an empty slot does nothing
        poll_.restorePicture(picture);
}

void Form2::Text1_Click(int index) {
    poll_.restoreText(store_.text(index));
}

void Form2::open() {
    watch_->start(kWatchTick);
    host_.historyOpened();
    show();
    raise();
    activateWindow();
}

void Form2::Timer1_Timer() {
    const Foreground front = platform_.foregroundWindow(&mainWindow_, this);
    if (front == Foreground::History || front == Foreground::None)
        return;
    closeByWatch();
}

void Form2::closeByWatch() {
    watch_->stop();
    host_.historyClosing();
    hide();
    host_.historyClosed();
}

void Form2::closeEvent(QCloseEvent* event) {
    if (isVisible())
        closeByWatch();
    event->accept();
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        for (int i = 0; i < HistoryStore::kSlots; ++i) {
            if (watched == texts_[i]->viewport())
                Text1_Click(i);
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace pomorina
