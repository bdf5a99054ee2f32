#include "window_platform.h"

#include "wayland_clipboard_source.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstring>

namespace pomorina {

bool waylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void chooseWindowPlatform(int argc, char** argv) {
    if (!waylandSession() || qEnvironmentVariableIsEmpty("DISPLAY") ||
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return;
    }
    QString whyNot;
    if (!dataControlOffered(&whyNot))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace pomorina
