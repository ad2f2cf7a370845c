#include "catalogue/CatalogueStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>
#include <QRegularExpression>
#include <QUrlQuery>

#include <atomic>
#include <cerrno>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueTerms.h"
#include "module/DiskFiles.h"
#include "module/TextValues.h"
#include "util/Dnxfileutils.h"

namespace {

std::atomic<int> g_connections{0};

// Another process's write transaction is waited for this long before a write gives up.
constexpr int kBusyTimeoutMs = 5000;
// A server that does not answer is given up on after this long (libpq's connect_timeout).
constexpr int kConnectTimeoutSeconds = 5;
// Taken by whoever creates or upgrades a server's schema, so that two first starts do not both.
constexpr qint64 kSchemaLockKey = 0x5a454d43;  // "ZEMC"

const char* const kKindNames[] = {"read", "backup", "write", "line"};

QString KindName(TVersionKind kind)
{
    return QString::fromLatin1(kKindNames[int(kind)]);
}

TVersionKind KindFromName(const QString& name)
{
    for (int k = 0; k < 4; ++k)
        if (name == QLatin1String(kKindNames[k]))
            return TVersionKind(k);
    return TVersionKind::Read;
}

QVariant NullableText(const QString& text)
{
    return text.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}

template <size_t N>
QVariant PartBytes(const std::optional<std::array<uint8_t, N>>& part)
{
    if (!part)
        return QVariant(QMetaType::fromType<QByteArray>());
    return QByteArray(reinterpret_cast<const char*>(part->data()), qsizetype(N));
}

template <size_t N>
void ReadPart(const QVariant& value, std::optional<std::array<uint8_t, N>>& part)
{
    const QByteArray bytes = value.toByteArray();
    if (value.isNull() || bytes.size() != qsizetype(N))
        return;
    part.emplace();
    std::copy(bytes.begin(), bytes.end(), part->begin());
}

// The file the catalogue is kept in holds GPRS passwords: it is the owner's alone, and a link
// or a device in its place is not followed.
bool CheckCatalogueFile(const QString& path, QString& error)
{
    const auto refuse = [&](int fileError) {
        error = QStringLiteral("Файл каталога «%1» не используется: %2")
                    .arg(ClippedText(QDir::toNativeSeparators(path)), QString::fromStdString(FileErrorReason(fileError)));
        return false;
    };
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (const int fileError = MakePrivateFolder(LocalFileName(folder)))
            return refuse(fileError);
    }
#ifdef Q_OS_WIN
    if (info.isSymLink() || info.isJunction())
        return refuse(FileErrorSymlink);
    if (info.exists())
        return info.isFile() ? true : refuse(FileErrorNotRegular);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return refuse(EACCES);
    return true;
#else
    const std::string local = LocalFileName(path);
    struct stat st {};
    if (lstat(local.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            return refuse(FileErrorSymlink);
        if (!S_ISREG(st.st_mode))
            return refuse(FileErrorNotRegular);
        if (st.st_uid == geteuid() && (st.st_mode & 077) != 0 && chmod(local.c_str(), 0600) != 0)
            return refuse(errno);
        return true;
    }
    if (errno != ENOENT)
        return refuse(errno);
    const int fd = open(local.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST)
        return refuse(errno);
    if (fd >= 0)
        close(fd);
    return true;
#endif
}

}  // namespace

QString DatabaseText(const QSqlError& error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.driverText().trimmed();
    text.remove(QRegularExpression(QStringLiteral("^(ERROR|FATAL|ОШИБКА|ВАЖНО):\\s*")));
    return text.simplified();
}

QString TServerAddress::Text() const
{
    QString text;
    if (!User.isEmpty())
        text += User + QLatin1Char('@');
    text += Host.isEmpty() ? QStringLiteral("localhost") : Host;
    if (Port > 0)
        text += QLatin1Char(':') + QString::number(Port);
    return text + QLatin1Char('/') + Database;
}

bool ParseServerUrl(const QString& url, TServerAddress& address, QString& error)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres"))) {
        error = QStringLiteral("Адрес сервера каталога «%1» не читается: ожидается "
                               "postgresql://[пользователь@]сервер[:порт]/база[?sslmode=…]")
                    .arg(ClippedText(url));
        return false;
    }
    if (!parsed.password().isEmpty()) {
        error = QStringLiteral("Пароль в адресе сервера каталога не хранится: задайте его в файле ~/.pgpass "
                               "(или в PGPASSWORD, или в файле служб PostgreSQL) и уберите из адреса.");
        return false;
    }
    address = TServerAddress();
    address.User = parsed.userName(QUrl::FullyDecoded);
    address.Host = parsed.host(QUrl::FullyDecoded);
    address.Port = parsed.port(-1);
    address.Database = parsed.path(QUrl::FullyDecoded).mid(1);
    QStringList options;
    bool timeout = false;
    for (const auto& [key, value] : QUrlQuery(parsed).queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("password")) {
            error = QStringLiteral("Пароль в адресе сервера каталога не хранится: задайте его в файле ~/.pgpass.");
            return false;
        }
        if (key == QLatin1String("host")) {
            address.Host = value;
        } else if (key == QLatin1String("port")) {
            address.Port = value.toInt();
        } else if (key == QLatin1String("user")) {
            address.User = value;
        } else if (key == QLatin1String("dbname")) {
            address.Database = value;
        } else {
            timeout = timeout || key == QLatin1String("connect_timeout");
            options << key + QLatin1Char('=') + value;
        }
    }
    if (!timeout)
        options << QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds);
    address.Options = options.join(QLatin1Char(';'));
    if (address.Database.isEmpty()) {
        error = QStringLiteral("В адресе сервера каталога «%1» нет имени базы.").arg(ClippedText(url));
        return false;
    }
    return true;
}

TStore::TStore() : FName(QStringLiteral("zem-catalogue-%1").arg(++g_connections)) {}

TStore::~TStore()
{
    Close();
}

void TStore::Close()
{
    FOpen = false;
    FInTransaction = false;
    if (QSqlDatabase::contains(FName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(FName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(FName);
    }
}

QSqlQuery TStore::Prepare(const QString& sql)
{
    QSqlQuery query(QSqlDatabase::database(FName, false));
    query.setForwardOnly(true);
    query.prepare(sql);
    return query;
}

QString TStore::Failure(const QString& what, const QSqlError& sqlError)
{
    FLastCode = sqlError.nativeErrorCode();
    if (FDialect == TDialect::Sqlite) {
        // SQLite's extended codes: the primary code in the low byte.
        constexpr int kFull = 13, kIoError = 10;
        const int code = FLastCode.toInt() & 0xFF;
        if (code == kFull)
            return what + QStringLiteral(": ") + QString::fromStdString(FileErrorReason(ENOSPC));
        if (code == kIoError)
            return what + QStringLiteral(": диск не принял запись (%1)").arg(DatabaseText(sqlError));
    }
    return what + QStringLiteral(": ") + DatabaseText(sqlError);
}

bool TStore::Exec(QSqlQuery& query, const QString& what, QString& error)
{
    if (query.exec())
        return true;
    error = Failure(what, query.lastError());
    Failed();
    return false;
}

bool TStore::Exec(const QString& sql, const QString& what, QString& error)
{
    QSqlQuery query(QSqlDatabase::database(FName, false));
    if (query.exec(sql))
        return true;
    error = Failure(what, query.lastError());
    Failed();
    return false;
}

void TStore::Failed()
{
    // PostgreSQL refuses every statement of a transaction after a failed one, even freeing the
    // prepared ones: it is rolled back at once, not when the caller gets to it.
    if (FDialect == TDialect::Postgres && FInTransaction && FSavepoints == 0)
        Rollback();
}

bool TStore::LastWasUniqueViolation() const
{
    return FDialect == TDialect::Postgres ? FLastCode == QLatin1String("23505")
                                          : FLastCode == QLatin1String("2067") || FLastCode == QLatin1String("1555");
}

bool TStore::LastWasPrivilege() const
{
    return FDialect == TDialect::Postgres && FLastCode == QLatin1String("42501");
}

bool TStore::Begin(QString& error)
{
    FInTransaction = Exec(FDialect == TDialect::Sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"),
                          QStringLiteral("Каталог не начал запись"), error);
    return FInTransaction;
}

bool TStore::Commit(QString& error)
{
    if (!FInTransaction) {
        if (error.isEmpty())
            error = QStringLiteral("Каталог не сохранил запись");
        return false;
    }
    if (Exec(QStringLiteral("COMMIT"), QStringLiteral("Каталог не сохранил запись"), error)) {
        FInTransaction = false;
        return true;
    }
    Rollback();
    return false;
}

void TStore::Rollback()
{
    if (!FInTransaction)
        return;
    FInTransaction = false;
    QSqlQuery(QSqlDatabase::database(FName, false)).exec(QStringLiteral("ROLLBACK"));
}

bool TStore::Alive()
{
    QSqlQuery query(QSqlDatabase::database(FName, false));
    return FOpen && query.exec(QStringLiteral("SELECT 1")) && query.next();
}

bool TStore::OpenFile(const QString& path, QString& error)
{
    Close();
    FDialect = TDialect::Sqlite;
    FWhere = QDir::toNativeSeparators(path);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        error = QStringLiteral("Каталог не открыт: нет драйвера SQLite для Qt (пакет libqt6sql6-sqlite).");
        return false;
    }
    if (!CheckCatalogueFile(path, error))
        return false;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    const QString what = QStringLiteral("Каталог «%1» не открывается").arg(ClippedText(FWhere));
    if (!db.open()) {
        error = Failure(what, db.lastError());
        db = QSqlDatabase();
        Close();
        return false;
    }
    // Several processes of the user share the file: WAL lets them read while one writes, and a
    // commit is on the disk before it is reported (a number used up must stay used up).
    for (const char* pragma : {"PRAGMA journal_mode = WAL", "PRAGMA synchronous = FULL", "PRAGMA foreign_keys = ON"}) {
        if (!Exec(QString::fromLatin1(pragma), what, error)) {
            db = QSqlDatabase();
            Close();
            return false;
        }
    }
    FOpen = true;
    return true;
}

bool TStore::OpenServer(const TServerAddress& address, QString& error)
{
    Close();
    FDialect = TDialect::Postgres;
    FWhere = address.Text();
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        error = QStringLiteral("Каталог на сервере не открыт: нет драйвера PostgreSQL для Qt (пакет libqt6sql6-psql).");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), FName);
    db.setHostName(address.Host);
    if (address.Port > 0)
        db.setPort(address.Port);
    db.setUserName(address.User);
    db.setDatabaseName(address.Database);
    db.setConnectOptions(address.Options);
    if (!db.open()) {
        error = Failure(QStringLiteral("Сервер каталога %1 недоступен").arg(FWhere), db.lastError());
        db = QSqlDatabase();
        Close();
        return false;
    }
    // Each search is planned for its own text: a generic plan would not know that a pattern
    // can use the trigram index.
    const QString what = QStringLiteral("Сервер каталога %1 не принял настройки соединения").arg(FWhere);
    if (!Exec(QStringLiteral("SET plan_cache_mode = force_custom_plan"), what, error) ||
        !Exec(QStringLiteral("SET client_min_messages = error"), what, error)) {
        db = QSqlDatabase();
        Close();
        return false;
    }
    FOpen = true;
    return true;
}

bool TStore::PrepareSchema(QString& error)
{
    const bool pg = FDialect == TDialect::Postgres;
    const QString what = QStringLiteral("Каталог %1 не открыт").arg(pg ? FWhere : QStringLiteral("«%1»").arg(ClippedText(FWhere)));
    if (!Begin(error))
        return false;
    const auto fail = [&] {
        Rollback();
        return false;
    };
    auto scalar = [&](const QString& sql, QVariant& value) {
        QSqlQuery query = Prepare(sql);
        if (!Exec(query, what, error))
            return false;
        value = query.next() ? query.value(0) : QVariant();
        return true;
    };
    QVariant value;
    QString role, database;
    if (pg) {
        QSqlQuery who = Prepare(QStringLiteral("SELECT current_user, current_database(), pg_advisory_xact_lock(%1)").arg(kSchemaLockKey));
        if (!Exec(who, what, error) || !who.next())
            return fail();
        role = who.value(0).toString();
        database = who.value(1).toString();
    }
    if (!scalar(pg ? QStringLiteral("SELECT to_regclass('catalogue_schema') IS NOT NULL")
                   : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'catalogue_schema'"),
                value))
        return fail();
    int version = 0;
    if (value.toBool()) {
        if (!scalar(QStringLiteral("SELECT max(version) FROM catalogue_schema"), value))
            return fail();
        version = value.toInt();
    } else if (!pg) {
        if (!scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name NOT LIKE 'sqlite_%'"), value))
            return fail();
        if (value.toInt() > 0) {
            error = QStringLiteral("Файл «%1» — не каталог модулей (в нём другие таблицы).").arg(ClippedText(FWhere));
            return fail();
        }
    }
    if (version > CatalogueSchemaVersion) {
        error = QStringLiteral("Каталог %1 создан более новой версией программы (схема %2, эта версия знает схемы до %3): "
                               "обновите программу.")
                    .arg(pg ? FWhere : QStringLiteral("«%1»").arg(ClippedText(FWhere)))
                    .arg(version)
                    .arg(CatalogueSchemaVersion);
        return fail();
    }
    if (version < CatalogueSchemaVersion) {
        QStringList statements;
        for (int step = version + 1; step <= CatalogueSchemaVersion; ++step)
            statements << SchemaStep(FDialect, step);
        if (pg)
            statements << InstallerGrants();
        statements << QStringLiteral("DELETE FROM catalogue_schema")
                   << QStringLiteral("INSERT INTO catalogue_schema (version) VALUES (%1)").arg(CatalogueSchemaVersion);
        for (const QString& sql : statements) {
            if (Exec(sql, what, error))
                continue;
            if (LastWasPrivilege()) {
                error = QStringLiteral("Роль «%1» не может %2 схему каталога в базе «%3» (%4). Это делает один раз "
                                       "владелец базы или роль с правом CREATE в ней и правом CREATEROLE; "
                                       "установщикам достаточно роли, входящей в %5.")
                            .arg(role, version == 0 ? QStringLiteral("создать")
                                                    : QStringLiteral("обновить (версия %1 → %2)").arg(version).arg(CatalogueSchemaVersion),
                                 database, error.section(QStringLiteral(": "), 1), QString::fromLatin1(InstallerRole));
            }
            return fail();
        }
        if (version == 0) {
            // Without the trigram indexes a search scans the texts: slower, still right.
            for (const QString& sql : TextIndexStatements(FDialect)) {
                QString ignored;
                if (!Exec(QStringLiteral("SAVEPOINT text_index"), what, error))
                    return fail();
                ++FSavepoints;
                const bool made = Exec(sql, what, ignored);
                --FSavepoints;
                if (!made) {
                    if (!Exec(QStringLiteral("ROLLBACK TO SAVEPOINT text_index"), what, error))
                        return fail();
                    break;
                }
                if (!Exec(QStringLiteral("RELEASE SAVEPOINT text_index"), what, error))
                    return fail();
            }
        }
    }
    if (!scalar(pg ? QStringLiteral("SELECT count(*) FROM pg_indexes WHERE indexname = 'modules_site_trgm' "
                                    "AND schemaname = current_schema()")
                   : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'site_search'"),
                value))
        return fail();
    FTextIndex = value.toInt() > 0;
    return Commit(error);
}

bool TStore::ModuleId(const TVersionRow& row, qint64& id, QString& error)
{
    const QString what = QStringLiteral("Каталог не нашёл модуль");
    const bool named = !row.Serial.isEmpty();
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlQuery find = Prepare(named ? QStringLiteral("SELECT id FROM modules WHERE serial = ?")
                                       : QStringLiteral("SELECT id FROM modules WHERE serial IS NULL AND first_time = ? "
                                                        "AND first_port = ?"));
        if (named) {
            find.addBindValue(SqlText(row.Serial));
        } else {
            find.addBindValue(row.FirstTime);
            find.addBindValue(SqlText(row.FirstPort));
        }
        if (!Exec(find, what, error))
            return false;
        if (find.next()) {
            id = find.value(0).toLongLong();
            return true;
        }
        // Another station may add the same module at the same moment: the unique serial decides,
        // and the loser finds the winner's row.
        QSqlQuery add = Prepare(QStringLiteral("INSERT INTO modules (serial, first_port, first_time, last_time, last_port) "
                                               "VALUES (?, ?, ?, ?, ?) ON CONFLICT DO NOTHING RETURNING id"));
        add.addBindValue(NullableText(row.Serial));
        add.addBindValue(SqlText(row.FirstPort));
        add.addBindValue(row.FirstTime);
        add.addBindValue(row.Info.Time.toMSecsSinceEpoch());
        add.addBindValue(SqlText(row.Info.Port));
        if (!Exec(add, QStringLiteral("Каталог не добавил модуль"), error))
            return false;
        if (add.next()) {
            id = add.value(0).toLongLong();
            return true;
        }
    }
    error = what;
    return false;
}

bool TStore::RecordVersion(const TVersionRow& row, TRecorded& recorded, QString& error)
{
    recorded = TRecorded();
    if (!ModuleId(row, recorded.Module, error))
        return false;
    const qint64 time = row.Info.Time.toMSecsSinceEpoch();
    QSqlQuery add = Prepare(QStringLiteral(
        "INSERT INTO versions (uid, module, time_ms, station, user_name, port, adapter, kind, passed, result, run, "
        "serial_before, settings, key_table, key_comments, gprs) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT (uid) DO NOTHING RETURNING id"));
    add.addBindValue(row.Uid);
    add.addBindValue(recorded.Module);
    add.addBindValue(time);
    add.addBindValue(SqlText(row.Info.Station));
    add.addBindValue(SqlText(row.Info.User));
    add.addBindValue(SqlText(row.Info.Port));
    add.addBindValue(SqlText(row.Info.Adapter));
    add.addBindValue(KindName(row.Info.Kind));
    add.addBindValue(row.Info.Passed ? 1 : 0);
    add.addBindValue(SqlText(row.Info.Result));
    add.addBindValue(row.Run > 0 ? QVariant(row.Run) : QVariant(QMetaType::fromType<qint64>()));
    add.addBindValue(row.Info.SerialBefore > 0 ? QVariant(qint64(row.Info.SerialBefore)) : QVariant(QMetaType::fromType<qint64>()));
    add.addBindValue(PartBytes(row.Copy.Settings));
    add.addBindValue(PartBytes(row.Copy.Keys));
    add.addBindValue(row.Copy.KeyComments.isEmpty()
                         ? QVariant(QMetaType::fromType<QString>())
                         : QVariant(QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(row.Copy.KeyComments))
                                                          .toJson(QJsonDocument::Compact))));
    add.addBindValue(PartBytes(row.Copy.Gprs));
    if (!Exec(add, QStringLiteral("Каталог не записал версию"), error))
        return false;
    if (!add.next()) {
        QSqlQuery existing = Prepare(QStringLiteral("SELECT id FROM versions WHERE uid = ?"));
        existing.addBindValue(row.Uid);
        if (!Exec(existing, QStringLiteral("Каталог не нашёл версию"), error) || !existing.next())
            return false;
        recorded.Version = existing.value(0).toLongLong();
        return true;
    }
    recorded.Version = add.value(0).toLongLong();
    recorded.Inserted = true;

    QSqlQuery module = Prepare(QStringLiteral(
        "UPDATE modules SET version_count = version_count + 1, "
        "last_port = CASE WHEN ? >= last_time THEN ? ELSE last_port END, "
        "last_time = CASE WHEN ? >= last_time THEN ? ELSE last_time END WHERE id = ?"));
    module.addBindValue(time);
    module.addBindValue(SqlText(row.Info.Port));
    module.addBindValue(time);
    module.addBindValue(time);
    module.addBindValue(recorded.Module);
    if (!Exec(module, QStringLiteral("Каталог не обновил модуль"), error))
        return false;

    const QString terms = QStringLiteral("Каталог не записал, по чему искать модуль");
    for (const QString& digits : CopyPhones(row.Copy)) {
        QSqlQuery phone = Prepare(QStringLiteral("INSERT INTO module_phones (module, digits) VALUES (?, ?) ON CONFLICT DO NOTHING"));
        phone.addBindValue(recorded.Module);
        phone.addBindValue(SqlText(digits));
        if (!Exec(phone, terms, error))
            return false;
    }
    for (const TKeyTerm& key : CopyKeys(row.Copy)) {
        QSqlQuery add = Prepare(QStringLiteral("INSERT INTO module_keys (module, serial, code) VALUES (?, ?, ?) ON CONFLICT DO NOTHING"));
        add.addBindValue(recorded.Module);
        add.addBindValue(key.Serial);
        add.addBindValue(SqlText(key.Code));
        if (!Exec(add, terms, error))
            return false;
    }
    // A number seen on a module is that module's: never handed out again, and a reservation of
    // it (by a process that died before it could say so) is over.
    if (!row.Serial.isEmpty()) {
        QSqlQuery number = Prepare(QStringLiteral(
            "INSERT INTO serial_numbers (number, series, state, station, pid, port, time_ms, module) "
            "VALUES (?, NULL, 'used', ?, 0, ?, ?, ?) ON CONFLICT (number) DO UPDATE SET state = 'used', "
            "module = excluded.module WHERE serial_numbers.state <> 'used'"));
        number.addBindValue(row.Serial.toLongLong());
        number.addBindValue(SqlText(row.Info.Station));
        number.addBindValue(SqlText(row.Info.Port));
        number.addBindValue(time);
        number.addBindValue(recorded.Module);
        if (!Exec(number, QStringLiteral("Каталог не отметил серийный номер модуля"), error))
            return false;
    }
    return true;
}

bool TStore::RunByUid(const QString& uid, const QString& station, const QString& user, qint64 started, qint64& id,
                      QString& error)
{
    QSqlQuery add = Prepare(QStringLiteral("INSERT INTO runs (uid, station, user_name, started) VALUES (?, ?, ?, ?) "
                                           "ON CONFLICT (uid) DO NOTHING"));
    add.addBindValue(uid);
    add.addBindValue(SqlText(station));
    add.addBindValue(SqlText(user));
    add.addBindValue(started);
    QSqlQuery find = Prepare(QStringLiteral("SELECT id FROM runs WHERE uid = ?"));
    find.addBindValue(uid);
    const QString what = QStringLiteral("Каталог не записал запуск линии");
    if (!Exec(add, what, error) || !Exec(find, what, error))
        return false;
    if (!find.next()) {
        error = what;
        return false;
    }
    id = find.value(0).toLongLong();
    return true;
}

QString TStore::ModuleColumns()
{
    return QStringLiteral("m.id, m.serial, m.site, m.notes, m.last_time, m.last_port, m.version_count");
}

QString TStore::VersionColumns()
{
    return QStringLiteral("v.id, v.module, v.uid, v.time_ms, v.station, v.user_name, v.port, v.adapter, v.kind, v.passed, "
                          "v.result, v.run, v.serial_before, v.settings, v.key_table, v.key_comments, v.gprs, m.serial");
}

TCatalogueModule TStore::ReadModule(const QSqlQuery& query)
{
    TCatalogueModule module;
    module.Id = query.value(0).toLongLong();
    module.Serial = query.value(1).toString();
    module.Site = query.value(2).toString();
    module.Notes = query.value(3).toString();
    module.LastTime = QDateTime::fromMSecsSinceEpoch(query.value(4).toLongLong());
    module.LastPort = query.value(5).toString();
    module.Versions = query.value(6).toInt();
    return module;
}

TCatalogueVersion TStore::ReadVersion(const QSqlQuery& query)
{
    TCatalogueVersion version;
    version.Id = query.value(0).toLongLong();
    version.Module = query.value(1).toLongLong();
    version.Uid = query.value(2).toString();
    TVersionInfo& info = version.Info;
    info.Time = QDateTime::fromMSecsSinceEpoch(query.value(3).toLongLong());
    info.Station = query.value(4).toString();
    info.User = query.value(5).toString();
    info.Port = query.value(6).toString();
    info.Adapter = query.value(7).toString();
    info.Kind = KindFromName(query.value(8).toString());
    info.Passed = query.value(9).toInt() != 0;
    info.Result = query.value(10).toString();
    info.Run = query.value(11).toLongLong();
    info.SerialBefore = quint32(query.value(12).toLongLong());
    ReadPart(query.value(13), version.Copy.Settings);
    ReadPart(query.value(14), version.Copy.Keys);
    for (const QJsonValue& comment : QJsonDocument::fromJson(query.value(15).toString().toUtf8()).array())
        version.Copy.KeyComments << comment.toString();
    ReadPart(query.value(16), version.Copy.Gprs);
    info.Serial = query.value(17).toString();
    return version;
}
