// What a local catalogue recorded while its server was out of reach goes up entry by entry:
// each is committed on the server, then taken out of the outbox. A version is known on the
// server by its uid, so one sent twice (the outbox row outliving the server's commit) is there
// once.
#include <QFileInfo>
#include <QSqlQuery>

#include "catalogue/CatalogueCore.h"
#include "catalogue/CatalogueTerms.h"

namespace {

const QString kSending = QStringLiteral("Каталог не отправил записанное на сервер");

struct TEntry {
    qint64 Id = 0;
    QString What;
    qint64 Version = 0;
    qint64 Module = 0;
};

// The local module's identity, as a row the server finds or adds it by.
bool ModuleIdentity(TStore& local, qint64 module, TVersionRow& row, QString& site, QString& notes, QString& error)
{
    QSqlQuery query = local.Prepare(QStringLiteral("SELECT serial, first_port, first_time, site, notes, last_time, last_port "
                                                   "FROM modules WHERE id = ?"));
    query.addBindValue(module);
    if (!local.Exec(query, kSending, error))
        return false;
    if (!query.next()) {
        error = kSending;
        return false;
    }
    row.Serial = query.value(0).toString();
    row.FirstPort = query.value(1).toString();
    row.FirstTime = query.value(2).toLongLong();
    site = query.value(3).toString();
    notes = query.value(4).toString();
    row.Info.Time = QDateTime::fromMSecsSinceEpoch(query.value(5).toLongLong());
    row.Info.Port = query.value(6).toString();
    return true;
}

bool SendVersion(TStore& local, TStore& server, qint64 version, bool& inserted, QString& error)
{
    QSqlQuery query = local.Prepare(QStringLiteral("SELECT %1, r.uid, r.station, r.user_name, r.started FROM versions v "
                                                   "JOIN modules m ON m.id = v.module LEFT JOIN runs r ON r.id = v.run "
                                                   "WHERE v.id = ?")
                                        .arg(TStore::VersionColumns()));
    query.addBindValue(version);
    if (!local.Exec(query, kSending, error))
        return false;
    if (!query.next()) {
        error = kSending;
        return false;
    }
    const TCatalogueVersion read = TStore::ReadVersion(query);
    TVersionRow row;
    QString site, notes;
    if (!ModuleIdentity(local, read.Module, row, site, notes, error))
        return false;
    row.Uid = read.Uid;
    row.Info = read.Info;
    row.Copy = read.Copy;
    const int run = 18;  // the run's columns after the version's
    if (!query.value(run).isNull() &&
        !server.RunByUid(query.value(run).toString(), query.value(run + 1).toString(), query.value(run + 2).toString(),
                         query.value(run + 3).toLongLong(), row.Run, error))
        return false;
    TRecorded recorded;
    if (!server.RecordVersion(row, recorded, error))
        return false;
    inserted = recorded.Inserted;
    return true;
}

bool SendModule(TStore& local, TStore& server, qint64 module, QString& error)
{
    TVersionRow row;
    QString site, notes;
    qint64 id = 0;
    if (!ModuleIdentity(local, module, row, site, notes, error) || !server.ModuleId(row, id, error))
        return false;
    QSqlQuery update = server.Prepare(QStringLiteral("UPDATE modules SET site = ?, site_key = ?, notes = ? WHERE id = ?"));
    update.addBindValue(SqlText(site));
    update.addBindValue(SqlText(SiteKey(site)));
    update.addBindValue(SqlText(notes));
    update.addBindValue(id);
    return server.Exec(update, kSending, error);
}

}  // namespace

int TCatalogueCore::SendOutbox(QString& error)
{
    error.clear();
    if (!Ready(error))
        return -1;
    if (PreferredUrl.isEmpty())
        return 0;
    // The side that is not open yet: the server when offline, else the local file (which may
    // hold an outbox from an earlier run).
    auto other = std::make_unique<TStore>();
    if (Offline) {
        if (!other->OpenServer(Address, error) || !other->PrepareSchema(error))
            return -1;
    } else {
        if (!QFileInfo::exists(LocalFile))
            return 0;
        if (!other->OpenFile(LocalFile, error) || !other->PrepareSchema(error))
            return -1;
    }
    TStore& local = Offline ? *Store : *other;
    TStore& server = Offline ? *other : *Store;
    constexpr int kBatch = 100;
    int sent = 0;
    for (;;) {
        QList<TEntry> entries;
        QSqlQuery query = local.Prepare(QStringLiteral("SELECT id, what, version, module FROM outbox ORDER BY id LIMIT ?"));
        query.addBindValue(kBatch);
        if (!local.Exec(query, kSending, error))
            return -1;
        while (query.next())
            entries << TEntry{query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toLongLong(),
                              query.value(3).toLongLong()};
        if (entries.isEmpty())
            break;
        for (const TEntry& entry : entries) {
            bool inserted = false;
            for (int attempt = 0;; ++attempt) {
                if (!server.Begin(error))
                    return -1;
                bool ok = false;
                if (entry.What == QLatin1String("version")) {
                    ok = SendVersion(local, server, entry.Version, inserted, error);
                } else {
                    ok = SendModule(local, server, entry.Module, error);
                    inserted = ok;
                }
                if (ok && server.Commit(error))
                    break;
                server.Rollback();
                if (!server.LastWasUniqueViolation() || attempt >= kRaceRetries)
                    return -1;
            }
            QSqlQuery remove = local.Prepare(QStringLiteral("DELETE FROM outbox WHERE id = ?"));
            remove.addBindValue(entry.Id);
            if (!local.Exec(remove, kSending, error))
                return -1;
            sent += inserted ? 1 : 0;
        }
    }
    if (Offline) {
        Store = std::move(other);
        Server = true;
        Offline = false;
        OfflineCause.clear();
        // A run begun offline goes on under its uid on the server.
    }
    return sent;
}
