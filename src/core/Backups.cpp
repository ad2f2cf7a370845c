#include "Backups.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>


#include "DeviceOperation.h"
#include "Globals.h"
#include "ModuleFile.h"
#include "Mydialogs.h"

QString BackupsDir;

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd_HH-mm-ss");

// The port's device name as a part of a file name: "/dev/ttyUSB0" gives "ttyUSB0", "/dev/pts/3"
// "pts-3", and the virtual module its caption's words joined by "_".
QString PortPart(const QString& port)
{
    const QFileInfo info(port);
    QString name = port.startsWith(QLatin1Char('/')) ? info.fileName() : port;
    static const QRegularExpression number(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+")));
    if (number.match(name).hasMatch())
        name = info.dir().dirName() + QLatin1Char('-') + name;
    static const QRegularExpression unsafe(QStringLiteral("[^\\w.-]+"), QRegularExpression::UseUnicodePropertiesOption);
    name = name.replace(unsafe, QStringLiteral("_")).remove(QRegularExpression(QStringLiteral("^_+|_+$")));
    return name.isEmpty() ? QStringLiteral("port") : name;
}

QStringList BackupFiles()
{
    // The names start with the time, so their order is the order of saving.
    return QDir(BackupsFolder())
        .entryList({QStringLiteral("*") + ModuleFileSuffix}, QDir::Files, QDir::Name | QDir::Reversed);
}

void Prune()
{
    const QStringList files = BackupFiles();
    for (int i = BackupsKept; i < files.size(); ++i)
        QFile::remove(QDir(BackupsFolder()).filePath(files[i]));
}

}  // namespace

QString BackupsFolder()
{
    if (BackupsDir.isEmpty())
        BackupsDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/backups");
    return BackupsDir;
}

bool SaveBackup(const TModuleCopy& copy, const QString& port, QString& error)
{
    const QString folder = BackupsFolder();
    // The copies hold the GPRS password: the folder is the owner's alone.
    if (!QDir().mkpath(folder) ||
        !QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        error = QStringLiteral("Не удалось создать папку резервных копий «%1».").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    const TModuleFileInfo info{QDateTime::currentDateTime(), port};
    const QString stem = info.Saved.toString(kTimeFormat) + QLatin1Char('_') + PortPart(port);
    QString name = stem + ModuleFileSuffix;
    for (int n = 2; QFileInfo::exists(QDir(folder).filePath(name)); ++n)
        name = QStringLiteral("%1_%2%3").arg(stem).arg(n).arg(ModuleFileSuffix);
    if (!SaveModuleFile(QDir(folder).filePath(name), copy, info, error))
        return false;
    Prune();
    return true;
}

QList<TBackupEntry> ListBackups()
{
    QList<TBackupEntry> entries;
    for (const QString& name : BackupFiles()) {
        TBackupEntry entry;
        entry.FileName = QDir(BackupsFolder()).filePath(name);
        TModuleCopy copy;
        TModuleFileInfo info;
        QString error;
        entry.Readable = LoadModuleFile(entry.FileName, copy, info, error);
        if (entry.Readable) {
            entry.Saved = info.Saved;
            entry.Port = info.Port;
            entry.Parts = copy.PartsText();
        } else {
            entry.Saved = QFileInfo(entry.FileName).lastModified();
            entry.Parts = error;
        }
        entries << entry;
    }
    return entries;
}

bool BackupBeforeWrite(QWidget* owner, unsigned parts)
{
    TModuleCopy copy;
    const TOperationResult result =
        ReadFromModule(owner, QStringLiteral("Резервная копия перед записью"), parts, copy, QString());
    if (result == TOperationResult::Cancelled || result == TOperationResult::NotRun)
        return false;
    QString problem;
    if (result == TOperationResult::Succeeded) {
        if (SaveBackup(copy, PortDisplayName, problem))
            return true;
    } else {
        problem = QStringLiteral("Не удалось прочитать из модуля то, что будет перезаписано.");
        const QString cause = LinkErrorCause(LastDeviceError());
        if (!cause.isEmpty())
            problem += QLatin1Char('\n') + cause;
    }
    return ConfirmationDlg(owner, problem + QStringLiteral("\nРезервная копия не сохранена. Записать без неё?"));
}
