#pragma once

#include "capture/fit_rule.h"

#include <QWidget>

class QPlainTextEdit;

namespace pomorina {

class PictureBox;

// The largest preview, in the window's pixels.
inline constexpr int kLargestPreview = 320;

// The main window's view of the clipboard: the square preview of a picture
// (Picture1), the text view in the same place (Text1), and, out of sight, the
// holder of the current picture at its natural size (Picture2). One of the
// preview and the text view is shown at a time.
class PreviewPane : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPane(QWidget* parent = nullptr);

    PictureBox* Picture1() const { return preview_; }
    QPlainTextEdit* Text1() const { return text_; }
    PictureBox* Picture2() const { return holder_; }

    // The preview area, in pixels; the preview box and the text view are 4
    // pixels wider and taller.
    int previewWidth() const { return side_; }
    int previewHeight() const { return side_; }
    void setPreviewSide(int side);
    // The size the pane takes for the current side.
    QSize boxSize() const;

    bool pictureShown() const;
    void showPicture();
    void showText();

    // Clears the preview and draws the held picture fitted into it.
    void drawHeldPicture();
    // The side of a picture's small copy that serves every preview size on
    // this screen, in canvas pixels.
    int smallSide() const;
    // Where the last fitted picture went.
    const FitResult& fit() const { return fit_; }

    // The text view's text, exactly as it was set or typed; a long text is
    // shown cut short but kept whole here.
    const QString& text() const { return text1_; }
    // Sets the text view's text. Its change handlers run inside, as for any
    // change.
    void setText(const QString& text);

signals:
    // The text view's text changed, typed by the user or set by setText().
    void textChanged(bool typed);
    // The preview and the text view swapped places.
    void viewSwitched();

private:
    PictureBox* preview_;
    QPlainTextEdit* text_;
    PictureBox* holder_;
    int side_ = 0;
    FitResult fit_;
    QString text1_;
    // setText() is running: the change its handler sees is the program's.
    bool settingText_ = false;
};

} // namespace pomorina
