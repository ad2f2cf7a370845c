#include "device/Appconfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <string>

#include "module/DiskFiles.h"
#include "util/Dnxfileutils.h"
#include "util/Version.h"

namespace {

QString g_appDir;

QString WithSeparator(const QString& dir)
{
    std::string path = QDir::toNativeSeparators(dir).toStdString();
    AddTrailingBackslash(path);
    return QString::fromStdString(path);
}

}  // namespace

QString ConfigFolderFor(const QString& exeDir)
{
    // Only a folder of the user's own: a system folder root may write to, or another user's
    // install, would share one user's settings with everybody else. An installed program's folder
    // holds programs only, whoever owns it: its menu entry, or on Windows the installer's
    // uninstaller beside it, tells it is one.
#ifdef Q_OS_WIN
    const QString installed = QStringLiteral("/uninstall.exe");
#else
    const QString installed = QStringLiteral("/../share/applications/%1.desktop").arg(QLatin1String(AppId));
#endif
    if (!exeDir.isEmpty() && !QFileInfo::exists(exeDir + installed) &&
        OwnWritableFolder(LocalFileName(exeDir)))
        return WithSeparator(exeDir);
    const QString userDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(userDir);
    return WithSeparator(userDir);
}

QString AppDir()
{
    return g_appDir;
}

void SetAppDir(const QString& folder)
{
    g_appDir = folder;
}

QString ConfigFileName()
{
    return g_appDir.isEmpty() ? QString() : g_appDir + QStringLiteral("ZEM.cfg");
}

void InitAppDir()
{
    if (AppDir().isEmpty())
        SetAppDir(ConfigFolderFor(QCoreApplication::applicationDirPath()));
}
