#pragma once

#include "app/auto_hide.h"
#include "app/main_menu.h"
#include "app/settings.h"
#include "capture/fingerprint.h"
#include "capture/fit_rule.h"
#include "capture/pending_edit.h"

#include <QMainWindow>
#include <QPointF>

#include <optional>

class QPlainTextEdit;
class QTimer;

namespace pomorina {

class Form2;
class Platform;
class PictureBox;

// The main window: the preview of what the clipboard holds, the menus from
// which every command and setting is reached, and the timers that drive the
// program. It holds the state the handlers share; the rules themselves live
// in plain functions beside it.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(Platform& platform, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: reads the settings file beside the executable and applies
    // every setting; the timers run afterwards. The error when the file
    // cannot be used: the program must not go on then.
    std::optional<SettingsError> Form_Load();

    // "設定を保存" and "終了".
    void sav_Click();
    void end_Click();

    // The full-size layout for preview-size value n: a preview of 64 * n
    // pixels square, its boxes 4 pixels larger, and the window around them.
    void applyFullSizeLayout(int n);
    // The same, with n taken from the preview-size setting.
    void applyPreviewLayout();
    // Keeps the window above all others, or puts it back among them.
    void topmost(bool on);
    // Puts the frame's top-left corner at a screen position in pixels.
    void moveFrameTo(QPoint topLeft);

    // The clipboard poll: the tick, and one cycle of it.
    void Timer1_Timer();
    void readclip();
    // Lays the window out around the preview and draws the held picture
    // into it when the clipboard offers one.
    void con();

    // The history window, created hidden the first time it is asked for.
    Form2* history();
    bool historyShown() const;
    void rire_Click();
    void pushtext();
    void pushimage();

    // Write-back of the text view to the clipboard, every 100 ms.
    void Timer3_Timer();
    // Auto-hide, every 100 ms.
    void Timer2_Timer();
    HideEdges hideEdges() const;
    bool collapsed() const;

    // The settings menus, each with the chosen item's index.
    void se_Click(int k);
    void sec_Click(int k);
    void scrsav_Click(int k);
    void bk_Click(int k);
    void jidou_Click(int k);
    void tu_Click();
    void zen_Click();

    // "画像を保存": the current picture as "Image.bmp" at the chosen resolution.
    void gsave_Click();
    // A file dropped on the preview or the text view, and its loading.
    void OLEDragDrop(const QString& path);
    void loadfile();

    // A history entry chosen in the history window.
    void restorePicture(const QImage& picture);
    void restoreText(const QString& text);

    // The text view's text, exactly as it was set or typed.
    const QString& text1() const { return text1_; }
    // Sets the text view's text; its change handler runs. Any change the
    // poll did not make is due to be written back to the clipboard.
    void setText1(const QString& text);
    void Text1_Change();

    // Which of the preview and the text view is shown.
    bool pictureShown() const;
    void showPicture();
    void showText();

    QString settingsFile() const;
    // The frame's top-left corner in twips; nothing where the desktop keeps
    // window positions to itself.
    std::optional<QPointF> positionTwips() const;

    // Controls ----------------------------------------------------------------
    PictureBox* Picture1 = nullptr;  // the picture preview
    QPlainTextEdit* Text1 = nullptr; // the text view, same rectangle
    PictureBox* Picture2 = nullptr;  // the current picture at natural size
    PictureBox* Picture3 = nullptr;  // the canvas of a picture save
    QString Text2;                   // the text just read from the clipboard
    QTimer* Timer1 = nullptr;        // clipboard poll
    QTimer* Timer2 = nullptr;        // auto-hide, 100 ms
    QTimer* Timer3 = nullptr;        // text write-back, 100 ms
    MainMenu menu;

    // Shared state --------------------------------------------------------------
    Settings cfg;         // the nine settings, as text
    int cfgValue = 0;     // the setting being applied, as a number
    int previewWidth = 0; // preview side, pixels
    int previewHeight = 0;
    bool hideArmed = false; // the auto-hide countdown runs
    qint64 hideStart = 0;   // tick at which it started, ms
    qint64 hideDelay = 0;   // how long the pointer must stay away, ms
    int busy = 0;           // 1 while a picture save or a file load runs
    int saveWidth = 0;      // resolution of the last save
    int saveHeight = 0;
    QString dropPath; // the last dropped file
    QString ext;      // its last four characters, lower-cased
    QString lineBuf;
    QString fileText;               // the text taken from it
    int textWrittenBack = 0;        // 1 once the text view went back to the clipboard
    PendingEdit pendingEdit;        // the user's text, due on the clipboard
    PictureFingerprint fingerprint; // the picture seen last
    FitResult fit;                  // where the last fitted picture went

signals:
    // The program is to end now.
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createTimers();
    void Form_Unload();
    void applyBackColor();
    void applyHideDelay();
    // The clipboard offers a picture that could be read.
    bool bitmapOffered() const;
    // New content arrived: the cycle a tick passed over runs now.
    void takeArrivedContent();
    void drawHeldPicture();
    void connectSettingsMenus();
    bool acceptsDrop(QObject* target) const;
    void writeBack();
    void collapse();

    Platform& platform_;
    Form2* history_ = nullptr;
    QString text1_;
    bool settingText1_ = false;
    bool pollWriting_ = false; // the poll is setting the text view
    bool polling_ = false;
    bool cycleOwed_ = false;   // a tick passed the clipboard over: its content was on its way
    quint64 passedOverAt_ = 0; // the newest content read when it did
    bool ended_ = false;
};

// Poll intervals by menu index 1..6, and auto-hide delays by index 0..6, ms.
int pollIntervalMs(int index);
qint64 autoHideDelayMs(int index);

} // namespace pomorina
