// A main window started on the scripted platform, with its program folder and
// settings file, for tests that drive whole handlers by hand.
#pragma once

#include "app/form1.h"
#include "app/settings_file.h"
#include "capture/clipboard_poll.h"
#include "capture/picture_box.h"
#include "capture/preview_pane.h"
#include "history/form2.h"
#include "support/fake_platform.h"
#include "support/settings_bytes.h"

#include <QFile>
#include <QImage>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

Q_DECLARE_METATYPE(pomorina::Foreground)

namespace pomorina::testing {

// One program folder with its settings file, holding `settings` as they are,
// and a main window on the fake, not started yet.
struct UnstartedDesk {
    QTemporaryDir dir;
    FakePlatform platform;
    std::unique_ptr<Form1> form;

    explicit UnstartedDesk(const QByteArray& settings) {
        platform.folder = dir.path();
        platform.foreground = Foreground::Other;
        QFile file(settingsPath(dir.path()));
        if (file.open(QIODevice::WriteOnly))
            file.write(settings);
        file.close();
        form = std::make_unique<Form1>(platform);
    }
    QString path() const { return settingsPath(dir.path()); }
};

// One program folder, its settings file and a started main window. The main
// window's timers are stopped: a test ticks the handlers itself.
struct Desk : UnstartedDesk {
    bool loaded = false;

    explicit Desk(const QList<QByteArray>& settings = defaultSettings())
        : UnstartedDesk(settingsBytes(settings)) {
        loaded = !form->Form_Load();
        form->holdTimers();
    }

    Form1& main() { return *form; }
    Form2& history() { return form->history(); }

    // Another program copies text, a picture, or both.
    void copyText(const QString& text) { platform.setClipboard({text, {}, false}); }
    void copyPicture(const QImage& picture) { platform.setClipboard({{}, picture, false}); }
    void copyBoth(const QString& text, const QImage& picture) {
        platform.setClipboard({text, picture, false});
    }

    // One tick of the poll timer alone.
    void poll() { form->Timer1_Timer(); }
    // One poll and the write-back tick that follows it within 100 ms, as
    // they come while the program runs; another program's next copy comes
    // later than both.
    void tick() {
        form->Timer1_Timer();
        form->Timer3_Timer();
    }
};

inline QImage filled(int width, int height, QRgb colour,
                     QImage::Format format = QImage::Format_RGB32) {
    QImage picture(width, height, format);
    picture.fill(colour);
    return picture;
}

// The texts the history window's six text boxes show.
inline QStringList slotBoxTexts(Form2& window) {
    QStringList texts;
    for (int slot = 0; slot < HistoryStore::kSlots; ++slot)
        texts << window.Text1(slot)->toPlainText();
    return texts;
}

// The six history texts as held.
inline QStringList storedTexts(const Form2& window) {
    QStringList texts;
    for (int slot = 0; slot < HistoryStore::kSlots; ++slot)
        texts << window.store().text(slot);
    return texts;
}

// Empty when every pixel of `canvas` inside `drawn` has the colour `inside`
// and every other pixel the colour `outside`; otherwise names the first pixel
// that does not.
inline QString canvasMismatch(const QImage& canvas, const QRect& drawn, QRgb inside, QRgb outside) {
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            const QRgb want = drawn.contains(x, y) ? inside : outside;
            const QRgb got = canvas.pixel(x, y);
            if (qRgb(qRed(got), qGreen(got), qBlue(got)) !=
                qRgb(qRed(want), qGreen(want), qBlue(want)))
                return QStringLiteral("pixel (%1, %2) is #%3, expected #%4")
                    .arg(x)
                    .arg(y)
                    .arg(got & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                    .arg(want & 0xFFFFFF, 6, 16, QLatin1Char('0'));
        }
    }
    return {};
}

} // namespace pomorina::testing
