#include "app/form1.h"

#include "app/app_icon.h"
#include "app/settings_file.h"
#include "capture/picture_box.h"
#include "capture/text_box.h"
#include "history/form2.h"
#include "platform/clipboard_source.h"
#include "platform/platform.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cmath>

namespace pomorina {

namespace {

constexpr std::array<int, 7> kPollIntervals = {0, 500, 1000, 2000, 3000, 5000, 9900};
constexpr std::array<qint64, 7> kAutoHideDelays = {0, 500, 1000, 2000, 3000, 5000, 9900};
constexpr int kWriteBackTick = 100;
constexpr int kAutoHideTick = 100;

// Twips to whole pixels, kept inside what a window system can place.
int twipsToPixels(double twips) {
    const double pixels = std::nearbyint(twips / kTwipsPerPixel);
    return static_cast<int>(std::clamp(pixels, -32768.0, 32767.0));
}

} // namespace

int pollIntervalMs(int index) {
    return index >= 1 && index <= 6 ? kPollIntervals[static_cast<size_t>(index)] : 0;
}

qint64 autoHideDelayMs(int index) {
    return index >= 0 && index <= 6 ? kAutoHideDelays[static_cast<size_t>(index)] : 0;
}

Form1::Form1(Platform& platform, QWidget* parent) : QMainWindow(parent), platform_(platform) {
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(makeAppIcon());
    createControls();
    menu.build(menuBar());
    onChosen(menu.sav, this, [this] { sav_Click(); });
    onChosen(menu.end, this, [this] { end_Click(); });
    onChosen(menu.gsave, this, [this] { gsave_Click(); });
    onChosen(menu.rire, this, [this] { rire_Click(); });
    connectSettingsMenus();
    createTimers();
    connect(&platform_.clipboardSource(), &ClipboardSource::snapshotArrived, this,
            &Form1::takeArrivedContent);
}

Form1::~Form1() {
    delete history_;
}

void Form1::createControls() {
    auto* client = new QWidget(this);
    setCentralWidget(client);

    Picture1 = new PictureBox(client);
    Picture1->setGeometry(0, 0, 324, 324);
    Picture1->setAcceptDrops(true);
    Picture1->installEventFilter(this);

    Text1 = new QPlainTextEdit(client);
    prepareTextBox(Text1);
    Text1->setGeometry(0, 0, 324, 324);
    Text1->setAcceptDrops(true);
    Text1->viewport()->installEventFilter(this);
    Text1->hide();
    connect(Text1, &QPlainTextEdit::textChanged, this, [this] {
        if (!settingText1_)
            text1_ = textOf(Text1); // typed by the user
        if (!pollWriting_) {
            // The user's text is due on the clipboard, unless newer content
            // reaches it first.
            textWrittenBack = 0;
            pendingEdit.made(platform_.clipboardSource().changeCount());
        }
        Text1_Change();
    });

    // Picture2 and Picture3 work out of sight.
    Picture2 = new PictureBox(client);
    Picture2->setGeometry(328, 16, 97, 121);
    Picture2->hide();
    Picture3 = new PictureBox(client, PictureBox::Resolution::Exact); // saved as it is
    Picture3->setGeometry(368, 280, 49, 41);
    Picture3->hide();
}

void Form1::createTimers() {
    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    Timer2 = new QTimer(this);
    Timer2->setInterval(kAutoHideTick);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    Timer3 = new QTimer(this);
    Timer3->setInterval(kWriteBackTick);
    connect(Timer3, &QTimer::timeout, this, &Form1::Timer3_Timer);
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
    cfg = *parsed.settings;

    // 2. Always on top; this also shows the window.
    const bool onTop = cfg.cfgTopmost == QLatin1String("1");
    menu.tu->setChecked(onTop);
    topmost(onTop);

    // 3. Preview size.
    cfgValue = *integerValue(cfg.cfgPreviewSize);
    for (int i = menu.se.first(); i <= menu.se.last(); ++i)
        menu.se.setChecked(i, false);
    menu.se.setChecked(cfgValue, true);
    applyFullSizeLayout(cfgValue);
    cfg.cfgPreviewSize = QString::number(cfgValue);

    // 4. Poll interval.
    cfgValue = *integerValue(cfg.cfgInterval);
    for (int i = menu.sec.first(); i <= menu.sec.last(); ++i)
        menu.sec.setChecked(i, false);
    menu.sec.setChecked(cfgValue, true);
    Timer1->setInterval(pollIntervalMs(cfgValue));
    cfg.cfgInterval = QString::number(cfgValue);

    // 5. Position, applied as it stands, wherever it lies.
    moveFrameTo(QPoint(twipsToPixels(*numericValue(cfg.cfgLeft)),
                       twipsToPixels(*numericValue(cfg.cfgTop))));

    // 6. Remember the position: everything but "0" is on.
    menu.zen->setChecked(cfg.cfgKeepPos != QLatin1String("0"));

    // 7. Save resolution.
    menu.scrsav.setChecked(*integerValue(cfg.cfgSaveSize), true);

    // 8. Background colour.
    menu.bk.setChecked(*integerValue(cfg.cfgBackColor), true);
    applyBackColor();

    // 9. Auto-hide delay.
    menu.jidou.setChecked(*integerValue(cfg.cfgAutoHide), true);
    applyHideDelay();

    Timer1->start();
    Timer2->start();
    Timer3->start();
    return std::nullopt;
}

void Form1::applyBackColor() {
    // Only the exact texts name a colour; " 1" checks the item but colours nothing.
    std::optional<QColor> color;
    if (cfg.cfgBackColor == QLatin1String("0"))
        color = QColor(Qt::white);
    else if (cfg.cfgBackColor == QLatin1String("1"))
        color = QColor(Qt::black);
    if (color) {
        Picture1->setBackColor(*color);
        Picture3->setBackColor(*color);
    }
}

void Form1::applyHideDelay() {
    // A later checked item overrides an earlier one.
    for (int i = menu.jidou.first(); i <= menu.jidou.last(); ++i) {
        if (menu.jidou.isChecked(i))
            hideDelay = autoHideDelayMs(i);
    }
}

void Form1::applyFullSizeLayout(int n) {
    previewWidth = n * 64;
    previewHeight = n * 64;
    const int box = previewWidth + 2 * PictureBox::kFrame;
    Picture1->resize(box, previewHeight + 2 * PictureBox::kFrame);
    Text1->resize(box, previewHeight + 2 * PictureBox::kFrame);
    // The client area is the box and the menu bar above it; the window
    // manager adds its own frame around that.
    const int bar = menuBar()->heightForWidth(box);
    resize(box, previewHeight + 2 * PictureBox::kFrame + qMax(bar, 0));
}

void Form1::moveFrameTo(QPoint topLeft) {
    // The window may be shown but not yet framed by the window manager; the
    // native window then asks the manager to put the frame's corner there.
    if (QWindow* native = windowHandle())
        native->setFramePosition(topLeft);
    else
        move(topLeft);
}

void Form1::applyPreviewLayout() {
    cfgValue = integerValue(cfg.cfgPreviewSize).value_or(cfgValue);
    applyFullSizeLayout(cfgValue);
}

void Form1::topmost(bool on) {
    platform_.setTopmost(this, on);
}

void Form1::sav_Click() {
    if (const std::optional<QString> error = saveSettings(settingsFile(), cfg, positionTwips()))
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
    Timer1->stop();
    Timer2->stop();
    Timer3->stop();
    if (const std::optional<QString> error =
            storeExitPosition(settingsFile(), cfg, positionTwips()))
        platform_.showError(this, *error);
    emit quitRequested();
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

} // namespace pomorina
