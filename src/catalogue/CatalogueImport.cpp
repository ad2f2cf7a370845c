// The old files come in once: the backups folder's copies as versions of kind Backup, the serial
// counter as the catalogue's series. The files themselves stay where they are.
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QUuid>

#include <set>

#include "catalogue/CatalogueCore.h"
#include "module/DiskFiles.h"
#include "module/ModuleFile.h"
#include "module/SerialCounter.h"

namespace {

const QString kImport = QStringLiteral("Каталог не принял старые резервные копии и счётчик");

// The same file gives the same version in every catalogue it comes into.
const QUuid kImportNamespace = QUuid(QStringLiteral("{6c1b8f0e-3f57-4c61-9d2e-5a0e7f1c2b44}"));

struct TOldBackup {
    QString Uid;
    TModuleCopy Copy;
    TVersionInfo Info;
};

QList<TOldBackup> ReadOldBackups(const QString& folder)
{
    QList<TOldBackup> backups;
    if (folder.isEmpty())
        return backups;
    // "SN00001234_…": a copy taken before a series, named by the number the module had.
    static const QRegularExpression numbered(QStringLiteral("^SN(\\d{8})_"));
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*") + ModuleFileSuffix}, QDir::Files | QDir::NoSymLinks, QDir::Name)) {
        QByteArray bytes;
        QString error;
        TOldBackup backup;
        TModuleFileInfo info;
        if (!ReadFileBounded(dir.filePath(name), CopyFileLimit, bytes, error) ||
            !ParseModuleFile(bytes, backup.Copy, info, error))
            continue;
        backup.Uid = QUuid::createUuidV5(kImportNamespace, bytes).toString(QUuid::WithoutBraces);
        backup.Info.Kind = TVersionKind::Backup;
        backup.Info.Port = info.Port;
        backup.Info.Time = info.Saved.isValid() ? info.Saved : QFileInfo(dir.filePath(name)).lastModified();
        const QRegularExpressionMatch match = numbered.match(name);
        if (match.hasMatch())
            backup.Info.Serial = match.captured(1);
        backups << backup;
    }
    return backups;
}

bool ImportCounter(TStore& store, const TSerialCounter& counter, QString& error)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    quint32 unused = 0;
    std::set<quint32> free;
    counter.State(unused, free);
    const qint64 first = counter.First();
    QSqlQuery series = store.Prepare(QStringLiteral("SELECT next_number FROM serial_series WHERE first_number = ?"));
    series.addBindValue(first);
    if (!store.Exec(series, kImport, error))
        return false;
    if (!series.next()) {
        QSqlQuery add = store.Prepare(QStringLiteral("INSERT INTO serial_series (first_number, next_number, started) VALUES (?, ?, ?)"));
        add.addBindValue(first);
        add.addBindValue(qint64(unused));
        add.addBindValue(now);
        if (!store.Exec(add, kImport, error))
            return false;
    } else if (series.value(0).toLongLong() < unused) {
        QSqlQuery advance = store.Prepare(QStringLiteral("UPDATE serial_series SET next_number = ? WHERE first_number = ?"));
        advance.addBindValue(qint64(unused));
        advance.addBindValue(first);
        if (!store.Exec(advance, kImport, error))
            return false;
    }
    for (const quint32 number : free) {
        QSqlQuery add = store.Prepare(QStringLiteral("INSERT INTO serial_numbers (number, series, state, station, pid, port, time_ms) "
                                                     "VALUES (?, ?, 'free', ?, 0, '', ?) ON CONFLICT DO NOTHING"));
        add.addBindValue(qint64(number));
        add.addBindValue(first);
        add.addBindValue(SqlText(ThisStation()));
        add.addBindValue(now);
        if (!store.Exec(add, kImport, error))
            return false;
    }
    return true;
}

}  // namespace

int TCatalogueCore::ImportOnce(const QString& backupsFolder, const QString& counterFile, QString& error)
{
    error.clear();
    if (!Ready(error))
        return -1;
    TSerialCounter counter(counterFile);
    const bool haveCounter = !counterFile.isEmpty() && QFileInfo::exists(counterFile);
    if (haveCounter && !counter.Load(error))
        return -1;
    const QList<TOldBackup> backups = ReadOldBackups(backupsFolder);
    const QString flag = QStringLiteral("import %1@%2").arg(ThisUser(), ThisStation());
    int imported = 0;
    const auto body = [&](TStore& store, QString& e) {
        imported = 0;
        QSqlQuery mark = store.Prepare(QStringLiteral("INSERT INTO catalogue_flags (name, value, time_ms) VALUES (?, ?, ?) "
                                                      "ON CONFLICT DO NOTHING RETURNING name"));
        mark.addBindValue(SqlText(flag));
        mark.addBindValue(SqlText(QStringLiteral("%1 | %2").arg(backupsFolder, counterFile)));
        mark.addBindValue(QDateTime::currentMSecsSinceEpoch());
        if (!store.Exec(mark, kImport, e))
            return false;
        if (!mark.next())
            return true;  // done before
        for (const TOldBackup& backup : backups) {
            TVersionRow row = MakeRow(backup.Copy, backup.Info);
            row.Uid = backup.Uid;
            TRecorded recorded;
            if (!RecordRow(store, row, recorded, e))
                return false;
            imported += recorded.Inserted ? 1 : 0;
        }
        return !haveCounter || ImportCounter(store, counter, e);
    };
    if (!Write(body, error))
        return -1;
    return imported;
}
