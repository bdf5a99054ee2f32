#include "session_environment.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pomorina {

void provideRuntimeDir() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        return;
    const passwd* user = getpwuid(geteuid());
    if (user == nullptr)
        return;
    // Qt's own fallback, with the mode and owner it insists on.
    const QByteArray path =
        QFile::encodeName(QDir::tempPath()) + "/runtime-" + QByteArray(user->pw_name);
    ::mkdir(path.constData(), 0700);
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != geteuid() || (info.st_mode & 0777) != 0700)
        return;
    qputenv("XDG_RUNTIME_DIR", path);
#endif
}

} // namespace pomorina
