#include "module/Backups.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>


#include <cerrno>

#include "module/DiskFiles.h"
#include "module/ModuleFile.h"
#include "module/TextValues.h"
#include "util/Dnxfileutils.h"


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

// The tool's own backups: regular files named by date, time and port, nothing else that is put
// in the folder. The names start with the time and a second backup within a second takes a
// two-digit suffix, so their order is the order of saving; newest first.
QStringList BackupFiles()
{
    static const QRegularExpression ours(QRegularExpression::anchoredPattern(
                                             QStringLiteral("\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_[\\w.-]+") +
                                             QRegularExpression::escape(ModuleFileSuffix)),
                                         QRegularExpression::UseUnicodePropertiesOption);
    QStringList files = QDir(BackupsFolder())
                            .entryList({QStringLiteral("*") + ModuleFileSuffix}, QDir::Files | QDir::NoSymLinks,
                                       QDir::Name | QDir::Reversed);
    files.removeIf([](const QString& name) { return !ours.match(name).hasMatch(); });
    return files;
}

// The newest BackupsKept stay, the one just saved always among them.
void Prune(const QString& saved)
{
    QStringList files = BackupFiles();
    files.removeOne(saved);
    for (int i = BackupsKept - 1; i < files.size(); ++i)
        QFile::remove(QDir(BackupsFolder()).filePath(files[i]));
}

}  // namespace

namespace {
QString g_backupsFolder;
}  // namespace

QString BackupsFolder()
{
    if (g_backupsFolder.isEmpty())
        g_backupsFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/backups");
    return g_backupsFolder;
}

void SetBackupsFolder(const QString& folder)
{
    g_backupsFolder = folder;
}

namespace {

// Saves under stem, made unique by a suffix, in the backups folder; then, with prune, removes the
// oldest dated ones beyond BackupsKept.
bool SaveBackupAs(const TModuleCopy& copy, const TModuleFileInfo& info, const QString& stem, bool prune, QString& error)
{
    const QString folder = BackupsFolder();
    // The copies hold the GPRS password: the folder is the owner's alone, and no one else's
    // folder, or one reached through a link, is trusted with them.
    if (const int fileError = MakePrivateFolder(LocalFileName(folder))) {
        error = QStringLiteral("Папка резервных копий «%1» не используется: %2")
                    .arg(ClippedText(QDir::toNativeSeparators(folder)), QString::fromStdString(FileErrorReason(fileError)));
        return false;
    }
    const QByteArray bytes = ModuleFileBytes(copy, info);
    // Created only where nothing stands, a planted link included: a taken name moves to the next.
    for (int n = 1; n < 100; ++n) {
        const QString name = n == 1 ? stem + ModuleFileSuffix
                                    : QStringLiteral("%1_%2%3").arg(stem).arg(n, 2, 10, QLatin1Char('0')).arg(ModuleFileSuffix);
        const QString path = QDir(folder).filePath(name);
        const int fileError = SaveFileDurably(LocalFileName(path), bytes.constData(), size_t(bytes.size()), true, true);
        if (fileError == 0) {
            if (prune)
                Prune(name);
            return true;
        }
        if (fileError != EEXIST) {
            error = SaveFailureText(path, fileError);
            return false;
        }
    }
    error = SaveFailureText(QDir(folder).filePath(stem + ModuleFileSuffix), EEXIST);
    return false;
}

}  // namespace

bool SaveBackup(const TModuleCopy& copy, const QString& port, QString& error)
{
    const TModuleFileInfo info{QDateTime::currentDateTime(), port};
    return SaveBackupAs(copy, info, info.Saved.toString(kTimeFormat) + QLatin1Char('_') + PortPart(port), true, error);
}

bool SaveSerialBackup(const TModuleCopy& copy, const QString& port, const QString& serial, QString& error)
{
    const TModuleFileInfo info{QDateTime::currentDateTime(), port};
    static const QRegularExpression digits(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+")));
    const QString number = digits.match(serial).hasMatch() ? serial : QStringLiteral("none");
    return SaveBackupAs(copy, info,
                        QStringLiteral("SN%1_%2_%3").arg(number, info.Saved.toString(kTimeFormat), PortPart(port)),
                        false, error);
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
