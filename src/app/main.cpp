#include "app/form1.h"
#include "app/settings.h"
#include "app/stall_watch.h"
#include "platform/clipboard_source.h"
#include "platform/process_memory.h"
#include "platform/qt_platform.h"
#include "platform/session_environment.h"
#include "platform/window_platform.h"

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[]) {
    pomorina::releaseLargeBlocksPromptly();
    pomorina::provideRuntimeDir();
    pomorina::chooseWindowPlatform(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pomorina"));

    // POMORINA_STALL_LOG=FILE keeps FILE up to date with the longest time the
    // event loop could not run.
    std::unique_ptr<pomorina::StallWatch> stallWatch;
    if (const QString log = qEnvironmentVariable("POMORINA_STALL_LOG"); !log.isEmpty())
        stallWatch = std::make_unique<pomorina::StallWatch>(log);

    pomorina::QtPlatform platform;
    pomorina::Form1 form(platform);
    QObject::connect(&form, &pomorina::Form1::quitRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);

    if (const std::optional<pomorina::SettingsError> error = form.Form_Load()) {
        const QString message =
            QStringLiteral("ポモリナを起動できません。\n%1").arg(error->message);
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        platform.showError(nullptr, message);
        return 2;
    }
    // Which clipboard backend serves this desktop, and why: the one thing a
    // user needs to know when copies seem to go unseen.
    std::fprintf(stderr, "clipboard: %s\n",
                 platform.clipboardSource().description().toLocal8Bit().constData());
    return app.exec();
}
