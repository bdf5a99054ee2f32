#include "app/form1.h"
#include "app/settings.h"
#include "platform/qt_platform.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pomorina"));

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
    return app.exec();
}
