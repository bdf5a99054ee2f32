#include "app/form1.h"

#include "app/app_icon.h"
#include "app/choices.h"
#include "app/settings_file.h"
#include "capture/clipboard_poll.h"
#include "capture/picture_box.h"
#include "capture/preview_pane.h"
#include "files/drop_target.h"
#include "history/form2.h"
#include "platform/platform.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace pomorina {

namespace {

constexpr int kWriteBackTick = 100;
constexpr int kAutoHideTick = 100;

// Twips to whole pixels, kept inside what a window system can place.
int twipsToPixels(double twips) {
    const double pixels = std::nearbyint(twips / kTwipsPerPixel);
    return static_cast<int>(std::clamp(pixels, -32768.0, 32767.0));
}

} // namespace

Form1::Form1(Platform& platform, QWidget* parent) : QMainWindow(parent), platform_(platform) {
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(makeAppIcon());
    pane_ = new PreviewPane(this);
    setCentralWidget(pane_);
    poll_ = std::make_unique<ClipboardPoll>(platform_, *pane_, static_cast<CaptureHost&>(*this),
                                            static_cast<HistorySink&>(*this));
    files_ =
        std::make_unique<FileCommands>(platform_, *poll_, *pane_, static_cast<FilesHost&>(*this));
    drops_ = new DropTarget(this, [this](const QString& path) { OLEDragDrop(path); });
    drops_->watch(pane_->Picture1());
    drops_->watch(pane_->Text1()->viewport());
    menu_.build(menuBar());
    connectMenus();
    createTimers();
}

Form1::~Form1() = default;

void Form1::createTimers() {
    timer1_ = new QTimer(this);
    timer1_->setInterval(kPollIntervals[0].effect);
    connect(timer1_, &QTimer::timeout, this, &Form1::Timer1_Timer);
    timer2_ = new QTimer(this);
    timer2_->setInterval(kAutoHideTick);
    connect(timer2_, &QTimer::timeout, this, &Form1::timer2Ticked);
    timer3_ = new QTimer(this);
    timer3_->setInterval(kWriteBackTick);
    connect(timer3_, &QTimer::timeout, this, &Form1::timer3Ticked);
    collapseDue_ = new QTimer(this);
    collapseDue_->setSingleShot(true);
    connect(collapseDue_, &QTimer::timeout, this, &Form1::wakeTimer2);
}

QString Form1::settingsFile() const {
    return settingsPath(platform_.executableDir());
}

std::optional<QPointF> Form1::positionTwips() const {
    if (!platform_.knowsWindowPositions())
        return std::nullopt;
    const QPoint frame = frameGeometry().topLeft();
    return QPointF(frame.x() * kTwipsPerPixel, frame.y() * kTwipsPerPixel);
}

std::optional<SettingsError> Form1::Form_Load() {
    // 1. Read the settings.
    const ParsedSettings parsed = readSettingsFile(settingsFile());
    if (!parsed.settings)
        return parsed.error;
    cfg_ = *parsed.settings;

    // 2. Always on top; this also shows the window.
    const bool onTop = cfg_.cfgTopmost == QLatin1String("1");
    menu_.tu->setChecked(onTop);
    topmost(onTop);

    // 3. Preview size.
    cfgValue_ = *integerValue(cfg_.cfgPreviewSize);
    for (int i = menu_.se.first(); i <= menu_.se.last(); ++i)
        menu_.se.setChecked(i, false);
    menu_.se.setChecked(cfgValue_, true);
    applyFullSizeLayout(cfgValue_);
    cfg_.cfgPreviewSize = QString::number(cfgValue_);

    // 4. Poll interval.
    cfgValue_ = *integerValue(cfg_.cfgInterval);
    for (int i = menu_.sec.first(); i <= menu_.sec.last(); ++i)
        menu_.sec.setChecked(i, false);
    menu_.sec.setChecked(cfgValue_, true);
    timer1_->setInterval(choiceAt(kPollIntervals, cfgValue_)->effect);
    cfg_.cfgInterval = QString::number(cfgValue_);

    // 5. Position, applied as it stands, wherever it lies.
    moveFrameTo(QPoint(twipsToPixels(*numericValue(cfg_.cfgLeft)),
                       twipsToPixels(*numericValue(cfg_.cfgTop))));

    // 6. Remember the position: everything but "0" is on.
    menu_.zen->setChecked(cfg_.cfgKeepPos != QLatin1String("0"));

    // 7. Save resolution.
    menu_.scrsav.setChecked(*integerValue(cfg_.cfgSaveSize), true);

    // 8. Background colour.
    menu_.bk.setChecked(*integerValue(cfg_.cfgBackColor), true);
    applyBackColour();

    // 9. Auto-hide delay.
    menu_.jidou.setChecked(*integerValue(cfg_.cfgAutoHide), true);
    applyHideDelay();

    startTimers();
    return std::nullopt;
}

void Form1::applyBackColour() {
    // Only the exact texts name a colour; " 1" checks the item but colours nothing.
    if (const auto colour = choiceStoredAs(kBackColours, cfg_.cfgBackColor)) {
        pane_->Picture1()->setBackColor(QColor::fromRgb(colour->effect));
        files_->Picture3()->setBackColor(QColor::fromRgb(colour->effect));
    }
}

void Form1::applyHideDelay() {
    // A later checked item overrides an earlier one.
    for (const auto& delay : kAutoHideDelays) {
        if (menu_.jidou.isChecked(delay.index))
            countdown_.setHideDelay(delay.effect);
    }
}

void Form1::applyFullSizeLayout(int n) {
    const std::optional<Choice<int>> size = choiceAt(kPreviewSizes, n);
    pane_->setPreviewSide(size ? size->effect : 64 * n);
    // The client area is the box and the menu bar above it; the window
    // manager adds its own frame around that.
    const QSize box = pane_->boxSize();
    const int bar = menuBar()->heightForWidth(box.width());
    resize(box.width(), box.height() + qMax(bar, 0));
}

void Form1::applyPreviewLayout() {
    cfgValue_ = integerValue(cfg_.cfgPreviewSize).value_or(cfgValue_);
    applyFullSizeLayout(cfgValue_);
}

void Form1::moveFrameTo(QPoint topLeft) {
    // The window may be shown but not yet framed by the window manager; the
    // native window then asks the manager to put the frame's corner there.
    if (QWindow* native = windowHandle())
        native->setFramePosition(topLeft);
    else
        move(topLeft);
}

void Form1::topmost(bool on) {
    platform_.setTopmost(this, on);
}

void Form1::sav_Click() {
    if (const std::optional<QString> error = saveSettings(settingsFile(), cfg_, positionTwips()))
        platform_.showError(this, *error); // the settings stay as chosen; saving can be retried
}

void Form1::end_Click() {
    Form_Unload();
    close();
}

void Form1::Form_Unload() {
    if (ended_)
        return;
    ended_ = true;
    // Nothing runs after the exit.
    timer1_->stop();
    timer2_->stop();
    timer3_->stop();
    if (const std::optional<QString> error =
            storeExitPosition(settingsFile(), cfg_, positionTwips()))
        platform_.showError(this, *error);
    emit quitRequested();
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

// The owners' handlers.

void Form1::Timer1_Timer() {
    poll_->Timer1_Timer();
}

void Form1::Timer3_Timer() {
    poll_->Timer3_Timer();
}

void Form1::gsave_Click() {
    files_->gsave_Click();
}

void Form1::OLEDragDrop(const QString& path) {
    files_->OLEDragDrop(path);
}

Form2& Form1::history() {
    if (!history_) {
        history_ =
            std::make_unique<Form2>(platform_, *this, *poll_, static_cast<HistoryHost&>(*this));
        history_->setWindowIcon(windowIcon());
    }
    return *history_;
}

bool Form1::historyShown() const {
    return history_ && history_->isVisible();
}

void Form1::rire_Click() {
    history().open();
}

// What the owners ask of the main window.

Foreground Form1::foreground() {
    return platform_.foregroundWindow(this, history_.get());
}

void Form1::setCaption(const QString& caption) {
    setWindowTitle(caption);
}

void Form1::restartCountdown() {
    countdown_.restart(platform_.tickCount());
    scheduleCollapse();
}

void Form1::startCountdownIfStopped() {
    countdown_.startIfStopped(platform_.tickCount());
    scheduleCollapse();
}

void Form1::cancelCountdown() {
    countdown_.cancel();
    // The next auto-hide tick starts it anew, and the write-back tick too.
    wakeTimer2();
    wakeTimer3();
}

void Form1::pushText(const QString& newest) {
    history().pushText(newest);
}

void Form1::pushPicture(const HeldPicture& newest) {
    history().pushPicture(newest);
}

void Form1::followEdit(const QString& text) {
    history().followEdit(text);
}

void Form1::historyOpened() {
    topmost(false);
}

void Form1::historyClosing() {
    if (cfg_.cfgTopmost == QLatin1String("1"))
        topmost(true);
}

void Form1::historyClosed() {
    applyPreviewLayout();
    cancelCountdown();
}

std::optional<QSize> Form1::saveResolution() {
    // Compared by value: "1.0" names the second resolution as "1" does.
    const std::optional<double> value = numericValue(cfg_.cfgSaveSize);
    for (const auto& size : kSaveSizes) {
        if (value && *value == size.index)
            return size.effect;
    }
    return std::nullopt;
}

} // namespace pomorina
