#include "file_commands.h"

#include "capture/clipboard_poll.h"
#include "capture/picture_box.h"
#include "capture/preview_pane.h"
#include "files/dropped_file.h"
#include "files/image_save.h"
#include "platform/clipboard_source.h"
#include "platform/platform.h"

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

FileCommands::FileCommands(Platform& platform, ClipboardPoll& poll, PreviewPane& pane,
                           FilesHost& host)
    : platform_(platform), poll_(poll), pane_(pane), host_(host),
      canvas_(std::make_unique<PictureBox>(nullptr, PictureBox::Resolution::Exact)) {}

FileCommands::~FileCommands() = default;

void FileCommands::gsave_Click() {
    // No poll may replace the picture while the command runs, the question
    // included; every way out lets polling go on.
    poll_.setBusy(1);
    const auto resume = qScopeGuard([this] { poll_.setBusy(0); });

    if (!pane_.pictureShown())
        return; // text is shown: nothing to save
    QWidget* parent = host_.boxParent();
    if (pane_.Picture2()->held().isNull()) {
        platform_.showError(parent, QStringLiteral("保存する画像がありません。"));
        return;
    }
    if (!platform_.askOkCancel(parent, QStringLiteral("セーブします")))
        return;
    // Its full pixels, decoded again from the bytes it came in.
    const QImage held = pane_.Picture2()->picture();
    if (held.isNull()) {
        platform_.showError(parent, QStringLiteral("保存する画像を読み直せません。"));
        return;
    }

    // A value that names no resolution keeps the one of the previous save.
    if (const std::optional<QSize> size = host_.saveResolution()) {
        saveWidth_ = size->width();
        saveHeight_ = size->height();
    }
    if (saveWidth_ <= 0 || saveHeight_ <= 0) {
        platform_.showError(parent, QStringLiteral("保存する画像の大きさが決まっていません。"
                                                   "「保存設定」で選んでください。"));
        return;
    }

    canvas_->resize(saveWidth_ + 2 * PictureBox::kFrame, saveHeight_ + 2 * PictureBox::kFrame);
    canvas_->clear();
    const FitResult fit = fitPicture(held.width(), held.height(), saveWidth_, saveHeight_, true);
    canvas_->drawPicture(held, fittedRect(fit));
    const QString path = platform_.executableDir() + QLatin1Char('/') + kImageFileName;
    const std::optional<QString> error = writeBitmap(canvas_->canvas(), path);
    canvas_->clear(); // the next save starts from an empty canvas
    if (error)
        platform_.showError(parent, *error + QStringLiteral("\n前の画像はそのまま残っています。"));
}

void FileCommands::OLEDragDrop(const QString& path) {
    dropPath_ = path;
    loadfile();
}

void FileCommands::loadfile() {
    poll_.setBusy(1);
    const auto resume = qScopeGuard([this] { poll_.setBusy(0); });

    ClipboardSource& clipboard = platform_.clipboardSource();
    ext_ = dropExtension(dropPath_);
    switch (dropKind(ext_)) {
    case DropKind::Picture: {
        const DroppedPicture dropped = readDroppedPicture(dropPath_);
        if (dropped.picture.isNull()) {
            platform_.showError(host_.boxParent(), dropped.error);
            break; // the clipboard and the views stay as they were
        }
        // The clipboard first: a picture it did not take is shown nowhere.
        if (!clipboard.setImage(dropped.picture, dropped.bytes, dropped.format)) {
            platform_.showError(host_.boxParent(), clipboardRefused(dropPath_));
            break;
        }
        pane_.showPicture();
        pane_.Picture2()->hold(
            HeldPicture(dropped.picture, dropped.bytes, dropped.format, pane_.smallSide()));
        break;
    }
    case DropKind::Text: {
        fileText_.clear();
        const DroppedText dropped = readDroppedText(dropPath_);
        if (!dropped.text) {
            platform_.showError(host_.boxParent(), dropped.error);
            break;
        }
        fileText_ = *dropped.text;
        if (!clipboard.setText(fileText_)) {
            platform_.showError(host_.boxParent(), clipboardRefused(dropPath_));
            break;
        }
        // Newer than an edit still due in the view: that edit is not written
        // back over it.
        pane_.showText();
        break;
    }
    case DropKind::None:
        break;
    }
    // Take up the new content at once, as a poll would.
    poll_.readclip();
    host_.restartCountdown();
}

} // namespace pomorina
