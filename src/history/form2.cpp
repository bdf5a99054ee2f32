#include "history/form2.h"

#include "app/app_icon.h"
#include "app/form1.h"
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

Form2::Form2(Platform& platform, Form1& main)
    : QWidget(nullptr, Qt::Window), platform_(platform), main_(main) {
    setWindowTitle(QStringLiteral("履歴"));
    setWindowIcon(makeAppIcon());
    setFixedSize(kClientWidth, kClientHeight);
    for (int i = 0; i < HistoryStore::kSlots; ++i) {
        Picture1[i] = new PictureBox(this);
        Picture1[i]->setGeometry(kSlotLefts[i], kThumbnailTop, HistoryStore::thumbBoxSize,
                                 HistoryStore::thumbBoxSize);
        connect(Picture1[i], &PictureBox::clicked, this, [this, i] { emit pictureSlotClicked(i); });

        Text1[i] = new QPlainTextEdit(this);
        prepareTextBox(Text1[i]);
        Text1[i]->setGeometry(kSlotLefts[i], kTextTop, HistoryStore::thumbBoxSize,
                              HistoryStore::thumbBoxSize);
        Text1[i]->viewport()->installEventFilter(this);
        connect(Text1[i], &QPlainTextEdit::textChanged, this, [this, i] {
            if (quiet_)
                return;
            shown_[i] = textOf(Text1[i]);
            store.setText(i, shown_[i]);
            Text1_Change(i);
        });
    }
    Timer1 = new QTimer(this);
    Timer1->setInterval(kWatchTick);
    connect(Timer1, &QTimer::timeout, this, &Form2::Timer1_Timer);
    connect(this, &Form2::pictureSlotClicked, this, &Form2::Picture1_Click);
    connect(this, &Form2::textSlotClicked, this, &Form2::Text1_Click);
}

Form2::~Form2() = default;

void Form2::showTexts() {
    quiet_ = true;
    for (int i = 0; i < HistoryStore::kSlots; ++i) {
        if (shown_[i] == store.text(i))
            continue;
        shown_[i] = store.text(i);
        showInBox(Text1[i], shown_[i]);
    }
    quiet_ = false;
}

void Form2::showPushedThumbnail() {
    for (int i = HistoryStore::kSlots - 1; i > 0; --i)
        thumbnails_[i] = thumbnails_[i - 1];
    thumbnails_[0] = store.thumbnail(0, Picture1[0]->backColor(), devicePixelRatioF());
    for (int i = 0; i < HistoryStore::kSlots; ++i)
        drawThumbnail(i);
}

void Form2::drawThumbnail(int slot) {
    // The thumbnail includes the box's frame; the canvas starts inside it.
    const QImage& thumbnail = thumbnails_[slot];
    Picture1[slot]->clear();
    Picture1[slot]->drawPicture(
        thumbnail, QRectF(QPointF(-HistoryStore::thumbFrame, -HistoryStore::thumbFrame),
                          thumbnail.deviceIndependentSize()));
}

void Form2::setSlotText(int index, const QString& text) {
    store.setText(index, text);
    quiet_ = true;
    shown_[index] = text;
    showInBox(Text1[index], text);
    quiet_ = false;
    Text1_Change(index);
}

void Form2::Text1_Change(int index) {
    main_.setText1(store.text(index));
}

void Form2::open() {
    Timer1->start(kWatchTick);
    main_.topmost(false);
    show();
    raise();
    activateWindow();
}

void Form2::Timer1_Timer() {
    const Foreground front = platform_.foregroundWindow(&main_, this);
    if (front == Foreground::History || front == Foreground::None)
        return;
    closeByWatch();
}

void Form2::closeByWatch() {
    Timer1->stop();
    if (main_.cfg.cfgTopmost == QLatin1String("1"))
        main_.topmost(true);
    hide();
    main_.applyPreviewLayout();
    main_.hideArmed = false;
}

void Form2::closeEvent(QCloseEvent* event) {
    if (isVisible())
        closeByWatch();
    event->accept();
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        for (int i = 0; i < HistoryStore::kSlots; ++i) {
            if (watched == Text1[i]->viewport())
                emit textSlotClicked(i);
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace pomorina
