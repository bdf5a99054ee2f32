// The main window's files: saving the current picture as "Image.bmp", and
// taking a dropped picture or text file onto the clipboard.
#include "app/form1.h"
#include "capture/picture_box.h"
#include "files/dropped_file.h"
#include "files/image_save.h"
#include "platform/clipboard_source.h"
#include "platform/platform.h"

#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScopeGuard>

namespace pomorina {

namespace {

QString clipboardRefused(const QString& path) {
    return QStringLiteral("クリップボードに書き込めません"
                          "（ほかのプログラムが使っているのかもしれません）。"
                          "%1 は貼り付けられませんでした。")
        .arg(path);
}

} // namespace

void Form1::gsave_Click() {
    // No poll may replace the picture while the command runs, the question
    // included; every way out lets polling go on.
    busy = 1;
    const auto resume = qScopeGuard([this] { busy = 0; });

    if (!Text1->isHidden())
        return; // text is shown: nothing to save
    const QImage& held = Picture2->picture();
    if (held.isNull() || held.width() <= 0 || held.height() <= 0) {
        platform_.showError(this, QStringLiteral("保存する画像がありません。"));
        return;
    }
    if (!platform_.askOkCancel(this, QStringLiteral("セーブします")))
        return;

    // A value that names no resolution keeps the one of the previous save.
    if (const std::optional<QSize> size =
            saveResolution(numericValue(cfg.cfgSaveSize).value_or(-1))) {
        saveWidth = size->width();
        saveHeight = size->height();
    }
    if (saveWidth <= 0 || saveHeight <= 0) {
        platform_.showError(this, QStringLiteral("保存する画像の大きさが決まっていません。"
                                                 "「保存設定」で選んでください。"));
        return;
    }

    Picture3->resize(saveWidth + 2 * PictureBox::kFrame, saveHeight + 2 * PictureBox::kFrame);
    Picture3->clear();
    fit = fitPicture(held.width(), held.height(), saveWidth, saveHeight, true);
    Picture3->drawPicture(held, fittedRect(fit));
    const QString path = platform_.executableDir() + QLatin1Char('/') + kImageFileName;
    const std::optional<QString> error = writeBitmap(Picture3->canvas(), path);
    Picture3->clear(); // the next save starts from an empty canvas
    if (error)
        platform_.showError(this, *error + QStringLiteral("\n前の画像はそのまま残っています。"));
}

bool Form1::acceptsDrop(QObject* target) const {
    return target == Picture1 || target == Text1->viewport();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (!acceptsDrop(watched))
        return QMainWindow::eventFilter(watched, event);
    // A drop is always taken as a copy: a source that was told "moved"
    // deletes the user's file. One that cannot copy is refused.
    const auto takeAsCopy = [](QDropEvent* drop) {
        if (!drop->mimeData()->hasUrls() || !drop->possibleActions().testFlag(Qt::CopyAction)) {
            drop->ignore(); // dragged text and the like are not taken either
            return false;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        return true;
    };
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
        takeAsCopy(static_cast<QDragMoveEvent*>(event));
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> urls = drop->mimeData()->urls();
        if (urls.isEmpty() || !urls.first().isLocalFile()) {
            drop->ignore();
            return true;
        }
        if (takeAsCopy(drop))
            OLEDragDrop(urls.first().toLocalFile());
        return true;
    }
    default:
        return QMainWindow::eventFilter(watched, event);
    }
}

void Form1::OLEDragDrop(const QString& path) {
    // Only the first file of a drop counts.
    dropPath = path;
    loadfile();
}

void Form1::loadfile() {
    busy = 1;
    const auto resume = qScopeGuard([this] { busy = 0; });

    ext = dropExtension(dropPath);
    switch (dropKind(ext)) {
    case DropKind::Picture: {
        const DroppedPicture dropped = readDroppedPicture(dropPath);
        if (dropped.picture.isNull()) {
            platform_.showError(this, dropped.error);
            break; // the clipboard and the views stay as they were
        }
        // The clipboard first: a picture it did not take is shown nowhere.
        if (!platform_.clipboardSource().setImage(dropped.picture)) {
            platform_.showError(this, clipboardRefused(dropPath));
            break;
        }
        showPicture();
        Picture2->setPicture(dropped.picture);
        break;
    }
    case DropKind::Text: {
        lineBuf.clear();
        fileText.clear();
        const DroppedText dropped = readDroppedText(dropPath);
        if (!dropped.text) {
            platform_.showError(this, dropped.error);
            break;
        }
        fileText = *dropped.text;
        if (!platform_.clipboardSource().setText(fileText)) {
            platform_.showError(this, clipboardRefused(dropPath));
            break;
        }
        // Newer than an edit still due in the view: that edit is not written
        // back over it.
        showText();
        break;
    }
    case DropKind::None:
        break;
    }
    // Take up the new content at once, as a poll would.
    readclip();
    hideStart = platform_.tickCount();
    hideArmed = true;
}

} // namespace pomorina
