#pragma once

#include "app/auto_hide.h"
#include "app/main_menu.h"
#include "app/settings.h"
#include "capture/capture_host.h"
#include "files/file_commands.h"
#include "history/history_host.h"

#include <QMainWindow>
#include <QPointF>

#include <memory>
#include <optional>

class QTimer;

namespace pomorina {

class ClipboardPoll;
class DropTarget;
class Form2;
class Platform;
class PreviewPane;

// The main window: the preview of what the clipboard holds, the menus from
// which every command and setting is reached, and the timers that drive the
// program. It composes the owners of the program's state (the poll, the
// history, the file commands, the settings and the auto-hide countdown), and
// each handler is a short call into its owner.
class Form1 : public QMainWindow,
              private CaptureHost,
              private HistorySink,
              private HistoryHost,
              private FilesHost {
    Q_OBJECT
public:
    explicit Form1(Platform& platform, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: reads the settings file beside the executable and applies
    // every setting; the timers run afterwards. The error when the file
    // cannot be used: the program must not go on then.
    std::optional<SettingsError> Form_Load();

    // The menu commands and the timers' ticks.
    void sav_Click();
    void end_Click();
    void gsave_Click();
    void rire_Click();
    void se_Click(int k);
    void sec_Click(int k);
    void scrsav_Click(int k);
    void bk_Click(int k);
    void jidou_Click(int k);
    void tu_Click();
    void zen_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    // A file dropped on the preview or the text view.
    void OLEDragDrop(const QString& path);

    // The full-size layout for preview-size value n: a preview of 64 * n
    // pixels square, its boxes 4 pixels larger, and the window around them.
    void applyFullSizeLayout(int n);
    // The same, with n taken from the preview-size setting.
    void applyPreviewLayout() override;
    // Keeps the window above all others, or puts it back among them.
    void topmost(bool on);
    // Puts the frame's top-left corner at a screen position in pixels.
    void moveFrameTo(QPoint topLeft);
    // The frame's top-left corner in twips; nothing where the desktop keeps
    // window positions to itself.
    std::optional<QPointF> positionTwips() const;
    QString settingsFile() const;

    // Auto-hide: where the window is for the pointer test, and whether only
    // its title and menu bars are left.
    HideEdges hideEdges() const;
    bool collapsed() const;

    // The owners, for what the window shows and keeps.
    Settings& settings() { return cfg_; }
    MainMenu& menu() { return menu_; }
    Countdown& countdown() { return countdown_; }
    PreviewPane& pane() { return *pane_; }
    ClipboardPoll& poll() { return *poll_; }
    FileCommands& files() { return *files_; }
    // The history window, made hidden the first time it is asked for.
    Form2& history();
    bool historyShown() const;
    // The number of the setting being applied.
    int cfgValue() const { return cfgValue_; }

    QTimer* Timer1() const { return timer1_; }
    QTimer* Timer2() const { return timer2_; }
    QTimer* Timer3() const { return timer3_; }
    // Stops the timers for good: the handlers are then run by hand.
    void holdTimers();

signals:
    // The program is to end now.
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createTimers();
    void startTimers();
    // Timers 2 and 3 sleep while nothing they watch can change, and are
    // woken, to tick at once and then every 100 ms, when something does.
    void wakeTimer2();
    void wakeTimer3();
    void timer2Ticked();
    void timer3Ticked();
    // While timer 2 sleeps, the collapse still comes when it falls due.
    void scheduleCollapse();
    void connectMenus();
    void Form_Unload();
    void applyBackColour();
    void applyHideDelay();
    void collapse();

    // CaptureHost
    Foreground foreground() override;
    void setCaption(const QString& caption) override;
    void restartCountdown() override;
    void startCountdownIfStopped() override;
    void cancelCountdown() override;
    bool countdownRunning() const override { return countdown_.hideArmed(); }
    // HistorySink: the history window's, made when first needed.
    bool shown() const override { return historyShown(); }
    void pushText(const QString& newest) override;
    void pushPicture(const HeldPicture& newest) override;
    void followEdit(const QString& text) override;
    // HistoryHost
    void historyOpened() override;
    void historyClosing() override;
    void historyClosed() override;
    // FilesHost
    std::optional<QSize> saveResolution() override;
    QWidget* boxParent() override { return this; }

    Platform& platform_;
    Settings cfg_;
    int cfgValue_ = 0;
    MainMenu menu_;
    Countdown countdown_;
    PreviewPane* pane_ = nullptr;
    std::unique_ptr<ClipboardPoll> poll_;
    std::unique_ptr<FileCommands> files_;
    std::unique_ptr<Form2> history_;
    DropTarget* drops_ = nullptr;
    QTimer* timer1_ = nullptr; // the clipboard poll
    QTimer* timer2_ = nullptr; // auto-hide, 100 ms
    QTimer* timer3_ = nullptr; // the text write-back, 100 ms
    QTimer* collapseDue_ = nullptr;
    bool crossingsReported_ = false; // the desktop tells when the pointer crosses the window
    bool pointerInside_ = false;     // as the last auto-hide tick found it
    bool timersHeld_ = false;
    // The exit has run: closing the window after "終了" must not run it again.
    bool ended_ = false;
};

} // namespace pomorina
