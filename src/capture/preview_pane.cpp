#include "preview_pane.h"

#include "capture/picture_box.h"
#include "capture/text_box.h"

#include <QPlainTextEdit>
#include <QtMath>

namespace pomorina {

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
    preview_ = new PictureBox(this);
    preview_->setGeometry(0, 0, 324, 324);
    preview_->setAcceptDrops(true);

    text_ = new QPlainTextEdit(this);
    prepareTextBox(text_);
    text_->setGeometry(0, 0, 324, 324);
    text_->setAcceptDrops(true);
    text_->hide();
    connect(text_, &QPlainTextEdit::textChanged, this, [this] {
        const bool typed = !settingText_;
        if (typed)
            text1_ = textOf(text_);
        emit textChanged(typed);
    });

    // Works out of sight.
    holder_ = new PictureBox(this);
    holder_->setGeometry(328, 16, 97, 121);
    holder_->hide();
}

void PreviewPane::setPreviewSide(int side) {
    side_ = side;
    const QSize box = boxSize();
    preview_->resize(box);
    text_->resize(box);
}

QSize PreviewPane::boxSize() const {
    return {side_ + 2 * PictureBox::kFrame, side_ + 2 * PictureBox::kFrame};
}

bool PreviewPane::pictureShown() const {
    return !preview_->isHidden();
}

void PreviewPane::showPicture() {
    const bool switching = !pictureShown();
    preview_->show();
    text_->hide();
    if (switching)
        emit viewSwitched();
}

void PreviewPane::showText() {
    const bool switching = pictureShown();
    text_->show();
    preview_->hide();
    if (switching)
        emit viewSwitched();
}

void PreviewPane::drawHeldPicture() {
    preview_->clear();
    // Fitted by its natural size, drawn from its small copy, which is never
    // smaller than the largest preview on this screen.
    const HeldPicture& held = holder_->held();
    fit_ = fitPicture(held.width(), held.height(), previewWidth(), previewHeight(), false);
    if (fit_.drawable)
        preview_->drawPicture(held.small(), fittedRect(fit_));
}

int PreviewPane::smallSide() const {
    return qCeil(kLargestPreview * devicePixelRatioF());
}

void PreviewPane::setText(const QString& text) {
    text1_ = text;
    settingText_ = true;
    showInBox(text_, text);
    settingText_ = false;
}

} // namespace pomorina
