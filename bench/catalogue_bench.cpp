// catalogue-bench: the catalogue's own costs on SQLite and on PostgreSQL (a private cluster that
// syncs its commits): recording one version, finding a module by serial number, site, phone and
// key serial in catalogues of 10 000 and 100 000 modules of three versions each, and reserving
// and using one serial number. The catalogues are filled directly, many rows a statement in one
// transaction, with the rows the catalogue itself would write (its own term functions).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "CatalogueKit.h"
#include "PgCluster.h"
#include "TempFiles.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueTerms.h"
#include "module/GprsBlock.h"

namespace {

constexpr int kVersionsPerModule = 3;
constexpr int kSamples = 31;
constexpr int kRowsPerStatement = 200;
constexpr quint32 kFirstSerial = 10000000;
const char* const kStreets[] = {"Ленина", "Гагарина", "Мира", "Советская", "Садовая", "Школьная", "Лесная", "Новая"};

QString SiteOf(int i)
{
    return QStringLiteral("Объект %1 ул. %2, д. %3").arg(i).arg(QString::fromUtf8(kStreets[i % 8])).arg(i % 200);
}

QString PhoneOf(int i)
{
    return QStringLiteral("+7916%1").arg((qint64(i) * 7919) % 10000000, 7, 10, QLatin1Char('0'));
}

qint64 KeyOf(int i, int k)
{
    return qint64(i) * 100 + k;
}

TModuleCopy CopyOf(int i)
{
    return CatalogueCopy(GprsSerialText(kFirstSerial + quint32(i)),
                         {PhoneOf(i), QStringLiteral("+7495%1").arg((qint64(i) * 104729) % 10000000, 7, 10, QLatin1Char('0'))},
                         {KeyOf(i, 0), KeyOf(i, 1), KeyOf(i, 2), KeyOf(i, 3)});
}

QByteArray Bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Rows of one table, sent many a statement.
class TBulk {
public:
    TBulk(QSqlDatabase& db, QString head, int columns) : FDb(db), FHead(std::move(head)), FColumns(columns) {}
    void Add(const QVariantList& row) { FRows << row; }
    bool Flush()
    {
        if (FRows.isEmpty())
            return true;
        const QString one = QLatin1Char('(') + QStringList(FColumns, QStringLiteral("?")).join(QLatin1Char(',')) + QLatin1Char(')');
        QSqlQuery query(FDb);
        query.prepare(FHead + QStringList(int(FRows.size()), one).join(QLatin1Char(',')));
        for (const QVariantList& row : FRows)
            for (const QVariant& value : row)
                query.addBindValue(value);
        FRows.clear();
        if (query.exec())
            return true;
        std::fprintf(stderr, "fill: %s\n", query.lastError().text().toUtf8().constData());
        return false;
    }

private:
    QSqlDatabase& FDb;
    QString FHead;
    int FColumns;
    QList<QVariantList> FRows;
};

qint64 NextId(QSqlDatabase& db, const char* table)
{
    QSqlQuery query(db);
    query.exec(QStringLiteral("SELECT coalesce(max(id), 0) + 1 FROM %1").arg(QLatin1String(table)));
    return query.next() ? query.value(0).toLongLong() : 1;
}

// Modules from+1 to to, with their versions, phones, keys and numbers, each batch of modules
// before the rows that name them.
bool Fill(QSqlDatabase& db, bool pg, int from, int to)
{
    constexpr int kModulesPerStatement = kRowsPerStatement / 4;
    QSqlQuery(db).exec(QStringLiteral("BEGIN"));
    const qint64 firstModule = NextId(db, "modules");
    qint64 version = NextId(db, "versions");
    TBulk modules(db, QStringLiteral("INSERT INTO modules (id, serial, first_port, first_time, site, site_key, notes, "
                                     "last_time, last_port, version_count) VALUES "), 10);
    TBulk versions(db, QStringLiteral("INSERT INTO versions (id, uid, module, time_ms, station, user_name, port, adapter, kind, "
                                      "passed, result, settings, key_table, gprs) VALUES "), 14);
    TBulk phones(db, QStringLiteral("INSERT INTO module_phones (module, digits) VALUES "), 2);
    TBulk keys(db, QStringLiteral("INSERT INTO module_keys (module, serial, code) VALUES "), 3);
    TBulk numbers(db, QStringLiteral("INSERT INTO serial_numbers (number, state, station, pid, port, time_ms, module) VALUES "), 7);
    const qint64 start = QDateTime(QDate(2020, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
    const char* const kinds[] = {"read", "backup", "write"};
    bool ok = true;
    for (int i = from + 1; i <= to && ok; ++i) {
        const qint64 module = firstModule + (i - from - 1);
        const TModuleCopy copy = CopyOf(i);
        const QString serial = GprsSerialText(kFirstSerial + quint32(i));
        const qint64 time = start + qint64(i) * 60000;
        const QString site = SiteOf(i);
        modules.Add({module, serial, QStringLiteral("/dev/ttyUSB0"), time, site, SiteKey(site), QString(QLatin1String("")),
                     time + 2000, QStringLiteral("/dev/ttyUSB0"), kVersionsPerModule});
        for (int v = 0; v < kVersionsPerModule; ++v, ++version) {
            versions.Add({version, QStringLiteral("bench-%1-%2").arg(i).arg(v), module, time + v * 1000, QStringLiteral("bench"),
                          QStringLiteral("bench"), QStringLiteral("/dev/ttyUSB0"), QString(QLatin1String("")),
                          QString::fromLatin1(kinds[v]), 1, QString(QLatin1String("")),
                          Bytes(copy.Settings->data(), copy.Settings->size()), Bytes(copy.Keys->data(), copy.Keys->size()),
                          Bytes(copy.Gprs->data(), copy.Gprs->size())});
        }
        for (const QString& digits : CopyPhones(copy))
            phones.Add({module, digits});
        for (const TKeyTerm& key : CopyKeys(copy))
            keys.Add({module, key.Serial, key.Code});
        numbers.Add({qint64(kFirstSerial) + i, QStringLiteral("used"), QStringLiteral("bench"), 0,
                     QStringLiteral("/dev/ttyUSB0"), time, module});
        if ((i - from) % kModulesPerStatement == 0 || i == to)
            ok = modules.Flush() && versions.Flush() && phones.Flush() && keys.Flush() && numbers.Flush();
    }
    if (ok && pg) {
        for (const char* table : {"modules", "versions", "module_phones"})
            QSqlQuery(db).exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), (SELECT max(id) FROM %1))")
                                   .arg(QLatin1String(table)));
    }
    QSqlQuery commit(db);
    if (!ok || !commit.exec(QStringLiteral("COMMIT"))) {
        std::fprintf(stderr, "fill: %s\n", commit.lastError().text().toUtf8().constData());
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    // The planner's statistics, as a catalogue in use has them.
    QSqlQuery(db).exec(QStringLiteral("ANALYZE"));
    return true;
}

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// The median time of kSamples calls, in ms; the call is told which sample it is.
double Time(const std::function<bool(int)>& call, bool& ok)
{
    std::vector<double> samples;
    for (int n = 0; n < kSamples; ++n) {
        QElapsedTimer timer;
        timer.start();
        ok = call(n) && ok;
        samples.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return Median(samples);
}

// A module of the catalogue's `size`, different for each sample.
int Pick(int sample, int size)
{
    return int((qint64(sample) * 2654435761u + 17) % size) + 1;
}

void Measure(const char* backend, const QString& url, bool pg)
{
    TCatalogue catalogue;
    QString error;
    if (!catalogue.Open(url, error)) {
        std::printf("%s: not opened: %s\n", backend, error.toUtf8().constData());
        return;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(pg ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), QStringLiteral("fill"));
    if (pg) {
        const QUrl parsed(url);
        db.setHostName(QUrlQuery(parsed).queryItemValue(QStringLiteral("host")));
        db.setUserName(parsed.userName());
        db.setDatabaseName(parsed.path().mid(1));
    } else {
        db.setDatabaseName(url);
    }
    if (!db.open()) {
        std::printf("%s: fill connection not opened: %s\n", backend, db.lastError().text().toUtf8().constData());
        return;
    }
    int size = 0;
    quint32 series = 50000000;
    for (const int target : {10000, 100000}) {
        QElapsedTimer fill;
        fill.start();
        if (!Fill(db, pg, size, target))
            return;
        size = target;
        std::printf("%s, %d modules x %d versions (filled in %.0f s):\n", backend, size, kVersionsPerModule,
                    double(fill.elapsed()) / 1000);
        bool ok = true;
        const double record = Time(
            [&](int n) {
                TVersionInfo info;
                info.Port = QStringLiteral("/dev/ttyUSB1");
                return catalogue.Record(CopyOf(Pick(n, size)), info, error);
            },
            ok);
        const auto find = [&](const std::function<QString(int)>& text, int expected) {
            return [&, text, expected](int n) {
                const int i = Pick(n + 1000, size);
                const QList<TCatalogueModule> found = catalogue.Find(text(i), 50, error);
                return std::any_of(found.begin(), found.end(), [&](const TCatalogueModule& m) {
                           return m.Serial == GprsSerialText(kFirstSerial + quint32(i));
                       }) && (expected == 0 || found.size() <= expected);
            };
        };
        const double bySerial = Time(find([](int i) { return GprsSerialText(kFirstSerial + quint32(i)); }, 1), ok);
        const double bySite = Time(find([](int i) { return SiteKey(SiteOf(i)).section(QLatin1Char(' '), 0, 2); }, 0), ok);
        const double byPhone = Time(find([](int i) { return PhoneOf(i).mid(2); }, 0), ok);
        const double byKey = Time(find([](int i) { return QString::number(KeyOf(i, 2)); }, 0), ok);
        const double reserve = Time(
            [&](int) {
                const std::optional<quint32> number = catalogue.Reserve(series, QStringLiteral("/dev/ttyUSB2"), error);
                TVersionInfo info;
                info.Kind = TVersionKind::Line;
                return number && catalogue.UseSerial(*number, CatalogueCopy(GprsSerialText(*number)), info, error);
            },
            ok);
        std::printf("  record one version           %8.2f ms (median of %d)\n", record, kSamples);
        std::printf("  find by serial number        %8.2f ms\n", bySerial);
        std::printf("  find by site text            %8.2f ms\n", bySite);
        std::printf("  find by phone                %8.2f ms\n", byPhone);
        std::printf("  find by key serial           %8.2f ms\n", byKey);
        std::printf("  reserve and use a number     %8.2f ms\n", reserve);
        if (!ok)
            std::printf("  (a call failed or found the wrong modules: %s)\n", error.toUtf8().constData());
        std::fflush(stdout);
    }
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ZEM 2.0"));
    {
        TTempDir dir;
        Measure("SQLite", QString::fromStdString(dir / "catalogue.sqlite"), false);
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        std::printf("PostgreSQL: skipped, Qt's QPSQL driver is not installed (libqt6sql6-psql)\n");
        return 0;
    }
    TPgCluster cluster(true);
    if (!cluster.Running() || !cluster.CreateDatabase("bench")) {
        std::printf("PostgreSQL: skipped, %s\n", cluster.Running() ? "no database" : cluster.Why().c_str());
        return 0;
    }
    Measure("PostgreSQL", QString::fromStdString(cluster.Url("bench")), true);
    return 0;
}
