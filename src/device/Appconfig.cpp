#include "device/Appconfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWidget>

#include <string>

#include "module/DiskFiles.h"
#include "module/IniFile.h"
#include "util/Dnxfileutils.h"
#include "util/Version.h"

QString AppDir;

namespace {

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
    // holds programs only, whoever owns it.
    const QString menuEntry = QStringLiteral("/../share/applications/%1.desktop").arg(QLatin1String(AppId));
    if (!exeDir.isEmpty() && !QFileInfo::exists(exeDir + menuEntry) &&
        OwnWritableFolder(LocalFileName(exeDir)))
        return WithSeparator(exeDir);
    const QString userDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(userDir);
    return WithSeparator(userDir);
}

void InitAppDir()
{
    if (AppDir.isEmpty())
        AppDir = ConfigFolderFor(QCoreApplication::applicationDirPath());
}

void SaveFormSize(TIniFile* ini, QWidget* form)
{
    if (ini == nullptr || form == nullptr)
        return;
    const bool resizable = form->minimumSize() != form->maximumSize();
    const bool normal = (form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized |
                                                Qt::WindowFullScreen)) == 0;
    if (!resizable || !normal)
        return;
    // A failed write is not worth a message: the size is a convenience.
    ini->WriteInteger(form->objectName(), QStringLiteral("Width"), form->frameGeometry().width());
    ini->WriteInteger(form->objectName(), QStringLiteral("Height"), form->frameGeometry().height());
}
