#include "device/Appconfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QWidget>

#include <string>

#include "module/IniFile.h"
#include "util/Dnxfileutils.h"

QString AppDir;

namespace {

QString WithSeparator(const QString& dir)
{
    std::string path = QDir::toNativeSeparators(dir).toStdString();
    AddTrailingBackslash(path);
    return QString::fromStdString(path);
}

}  // namespace

void InitAppDir()
{
    if (!AppDir.isEmpty())
        return;
    const QString exeDir = QCoreApplication::applicationDirPath();
    // Only a folder of the user's own: a system folder root may write to, or another user's
    // install, would share one user's settings with everybody else.
    if (!exeDir.isEmpty() && OwnWritableFolder(QFile::encodeName(exeDir).toStdString())) {
        AppDir = WithSeparator(exeDir);
        return;
    }
    const QString userDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(userDir);
    AppDir = WithSeparator(userDir);
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
