#include "CatalogueKit.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <cstring>

#include "TemplateCopy.h"
#include "module/GprsBlock.h"
#include "module/ImageCodec.h"
#include "module/ImageFields.h"

TModuleCopy CatalogueCopy(const QString& serial, const QStringList& phones, const QList<qint64>& keys)
{
    TModuleCopy copy = TemplateCopy(-1);
    copy.Gprs->fill(0xFF);
    if (!serial.isEmpty())
        PutGprsSerial(serial, copy.Gprs->data());
    int phone = 0;
    for (const TImageField& field : ImageFields()) {
        if (field.Encoding == TEncoding::Phone)
            EncodePhone(phone < phones.size() ? phones[phone++] : QString(), copy.Settings->data() + field.Address);
    }
    TKeyTable table;
    table.fill(EmptyKeySlot);
    for (int i = 0; i < keys.size() && i < KeySlotCount; ++i) {
        const TKeyRecord record = MakeKeyRecord(keys[i], NewKeyParam);
        std::memcpy(table.data() + KeySlotSize * i, &record, KeySlotSize);
    }
    copy.Keys = table;
    return copy;
}

const char* BackendName(TBackend backend)
{
    return backend == TBackend::Sqlite ? "SQLite" : "PostgreSQL";
}

TPgCluster& SharedCluster()
{
    static TPgCluster cluster;
    return cluster;
}

TCatalogueSpot::TCatalogueSpot(TBackend backend) : Backend(backend)
{
    if (backend == TBackend::Sqlite) {
        Url = QString::fromStdString(FDir / "catalogue.sqlite");
        return;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        Unavailable = "PostgreSQL: Qt's QPSQL driver is not installed (libqt6sql6-psql)";
        return;
    }
    TPgCluster& cluster = SharedCluster();
    if (!cluster.Running()) {
        Unavailable = "PostgreSQL: " + cluster.Why();
        return;
    }
    static std::atomic<int> databases{0};
    Database = "catalogue_" + std::to_string(getpid()) + "_" + std::to_string(++databases);
    if (!cluster.CreateDatabase(Database)) {
        Unavailable = "PostgreSQL: the test's database could not be created";
        return;
    }
    Url = QString::fromStdString(cluster.Url(Database));
}

bool TCatalogueSpot::Sql(const QString& sql, std::string* output)
{
    if (Backend == TBackend::Postgres)
        return SharedCluster().Sql(Database, sql.toStdString(), output);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("test-raw"));
        db.setDatabaseName(Url);
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(sql);
            if (output)
                *output = ok ? std::string() : query.lastError().text().toStdString();
            while (ok && output && query.next())
                *output += query.value(0).toString().toStdString() + "\n";
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("test-raw"));
    return ok;
}
