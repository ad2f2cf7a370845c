#include "catalogue/CatalogueCore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUuid>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>
#endif

#include "catalogue/CatalogueTerms.h"
#include "module/TextValues.h"

QString ThisStation()
{
    return QSysInfo::machineHostName();
}

QString ThisUser()
{
#ifndef Q_OS_WIN
    if (const passwd* entry = getpwuid(geteuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

qint64 ThisProcess()
{
    return QCoreApplication::applicationPid();
}

bool ProcessAlive(qint64 pid)
{
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    return kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

QString NewUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

namespace {

// The cause in a failure "<what>: <cause>".
QString Cause(const QString& failure)
{
    const QString cause = failure.section(QStringLiteral(": "), 1);
    return ClippedText(cause.isEmpty() ? failure : cause);
}

}  // namespace

bool TCatalogueCore::Ready(QString& error) const
{
    if (Store && Store->IsOpen())
        return true;
    error = QStringLiteral("Каталог модулей не открыт.");
    return false;
}

bool TCatalogueCore::Numbering(QString& error) const
{
    if (!Ready(error))
        return false;
    if (!Offline)
        return true;
    error = QStringLiteral("нумерация требует сервера каталога: %1").arg(OfflineCause);
    return false;
}

bool TCatalogueCore::FallBack(QString& error)
{
    auto local = std::make_unique<TStore>();
    QString localError;
    if (!local->OpenFile(LocalFile, localError) || !local->PrepareSchema(localError)) {
        error = QStringLiteral("%1; местный каталог тоже недоступен: %2").arg(error, localError);
        return false;
    }
    Store = std::move(local);
    Server = false;
    Offline = true;
    OfflineCause = error.isEmpty() ? QStringLiteral("сервер перестал отвечать") : Cause(error);
    return true;
}

TVersionRow TCatalogueCore::MakeRow(const TModuleCopy& copy, const TVersionInfo& info) const
{
    TVersionRow row;
    row.Uid = NewUid();
    row.Info = info;
    if (row.Info.Station.isEmpty())
        row.Info.Station = ThisStation();
    if (row.Info.User.isEmpty())
        row.Info.User = ThisUser();
    if (!row.Info.Time.isValid())
        row.Info.Time = QDateTime::currentDateTime();
    // The GPRS block, when the copy has one, is what the module holds.
    row.Serial = copy.Gprs ? CopySerial(copy) : IsModuleSerial(info.Serial) ? info.Serial : QString();
    row.Info.Serial = row.Serial;
    row.FirstPort = row.Info.Port;
    row.FirstTime = row.Info.Time.toMSecsSinceEpoch();
    row.Copy = copy;
    return row;
}

bool TCatalogueCore::RunIn(TStore& store, qint64 run, qint64& id, QString& error)
{
    const auto ours = Runs.find(run);
    if (ours == Runs.end()) {
        id = run;
        return true;
    }
    return store.RunByUid(ours->second.Uid, ThisStation(), ThisUser(), ours->second.Started, id, error);
}

bool TCatalogueCore::RecordRow(TStore& store, TVersionRow row, TRecorded& recorded, QString& error)
{
    if (!RunIn(store, row.Info.Run, row.Run, error) || !store.RecordVersion(row, recorded, error))
        return false;
    if (!Offline || !recorded.Inserted)
        return true;
    QSqlQuery outbox = store.Prepare(QStringLiteral("INSERT INTO outbox (what, version) VALUES ('version', ?)"));
    outbox.addBindValue(recorded.Version);
    return store.Exec(outbox, QStringLiteral("Каталог не отложил версию для сервера"), error);
}

QString DefaultCatalogueLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/catalogue.sqlite");
}

bool IsCatalogueServerUrl(const QString& url)
{
    return url.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           url.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

void TCatalogueCore::SetLocalLocation(const QString& file)
{
    LocalFile = file;
}

bool TCatalogueCore::Adopt(std::unique_ptr<TStore> store, QString& error)
{
    Store.reset();
    Server = Offline = false;
    PreferredUrl.clear();
    OfflineCause.clear();
    Runs.clear();
    if (!store->PrepareSchema(error))
        return false;
    Server = store->Dialect() == TDialect::Postgres;
    Store = std::move(store);
    return true;
}

bool TCatalogueCore::Open(const QString& url, QString& error)
{
    auto store = std::make_unique<TStore>();
    if (IsCatalogueServerUrl(url)) {
        if (!ParseServerUrl(url, Address, error) || !store->OpenServer(Address, error))
            return false;
    } else if (!store->OpenFile(url, error)) {
        return false;
    }
    return Adopt(std::move(store), error);
}

bool TCatalogueCore::OpenPreferred(const QString& url, QString& error)
{
    if (!IsCatalogueServerUrl(url))
        return Open(url, error);
    if (LocalFile.isEmpty())
        LocalFile = DefaultCatalogueLocation();
    TServerAddress address;
    if (!ParseServerUrl(url, address, error))
        return false;
    auto server = std::make_unique<TStore>();
    QString serverError;
    if (server->OpenServer(address, serverError)) {
        // Reached but refusing (rights, a newer schema): that is for the operator to hear, not a
        // reason to work elsewhere.
        Address = address;
        if (!Adopt(std::move(server), error))
            return false;
        PreferredUrl = url;
        return true;
    }
    auto local = std::make_unique<TStore>();
    if (!local->OpenFile(LocalFile, error) || !Adopt(std::move(local), error)) {
        error = QStringLiteral("%1; местный каталог тоже недоступен: %2").arg(serverError, error);
        return false;
    }
    PreferredUrl = url;
    Address = address;
    Offline = true;
    OfflineCause = Cause(serverError);
    return true;
}

bool TCatalogueCore::IsOpen() const
{
    return Store && Store->IsOpen();
}

bool TCatalogueCore::IsServer() const
{
    return IsOpen() && Server;
}

bool TCatalogueCore::IsOffline() const
{
    return IsOpen() && Offline;
}

QString TCatalogueCore::Description() const
{
    if (!IsOpen())
        return QStringLiteral("Каталог модулей не открыт");
    if (Offline)
        return QStringLiteral("Сервер каталога %1 недоступен (%2): каталог ведётся в «%3», записанное уйдёт на сервер, "
                              "когда он ответит")
            .arg(Address.Text(), OfflineCause, Store->Where());
    if (Server)
        return QStringLiteral("Каталог модулей на сервере %1").arg(Store->Where());
    return QStringLiteral("Каталог модулей: «%1»").arg(Store->Where());
}

bool TCatalogueCore::Record(const TModuleCopy& copy, const TVersionInfo& info, QString& error, qint64* version)
{
    const TVersionRow row = MakeRow(copy, info);
    TRecorded recorded;
    if (!Write([&](TStore& store, QString& e) { return RecordRow(store, row, recorded, e); }, error))
        return false;
    if (version)
        *version = recorded.Version;
    return true;
}

namespace {

// A LIKE pattern that holds the text anywhere.
QString HoldsPattern(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('%'), QLatin1String("\\%"));
    text.replace(QLatin1Char('_'), QLatin1String("\\_"));
    return QLatin1Char('%') + text + QLatin1Char('%');
}

// An FTS5 phrase: with the trigram tokenizer it matches the text anywhere in the column.
QString Phrase(QString text)
{
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

// A trigram index helps from three characters on.
constexpr int kTrigram = 3;

}  // namespace

QList<TCatalogueModule> TCatalogueCore::Find(const QString& text, int limit, QString& error)
{
    QList<TCatalogueModule> found;
    if (limit <= 0)
        return found;
    const TSearchText search = ParseSearchText(text);
    const auto body = [&](TStore& store, QString& e) {
        const bool pg = store.Dialect() == TDialect::Postgres;
        const bool indexed = store.HasTextIndex();
        // Each way of finding a module is its own query, so each uses its own index; the newest
        // `limit` of their union are among the newest `limit` of each.
        QList<std::pair<QString, QVariantList>> ways;
        if (text.trimmed().isEmpty())
            ways.append({QStringLiteral("1 = 1"), {}});
        if (!search.SerialPrefix.isEmpty())
            ways.append({QStringLiteral("m.serial >= ? AND m.serial < ?"), {search.SerialPrefix, PrefixEnd(search.SerialPrefix)}});
        if (!search.SiteText.isEmpty()) {
            if (pg)
                ways.append({QStringLiteral("m.site_key LIKE ? ESCAPE '\\'"), {HoldsPattern(search.SiteText)}});
            else if (indexed && search.SiteText.size() >= kTrigram)
                ways.append({QStringLiteral("m.id IN (SELECT rowid FROM site_search WHERE site_search MATCH ?)"),
                             {Phrase(search.SiteText)}});
            else
                ways.append({QStringLiteral("instr(m.site_key, ?) > 0"), {search.SiteText}});
        }
        if (!search.PhoneDigits.isEmpty()) {
            if (pg)
                ways.append({QStringLiteral("m.id IN (SELECT p.module FROM module_phones p WHERE p.digits LIKE ?)"),
                             {HoldsPattern(search.PhoneDigits)}});
            else if (indexed && search.PhoneDigits.size() >= kTrigram)
                ways.append({QStringLiteral("m.id IN (SELECT p.module FROM module_phones p WHERE p.id IN "
                                            "(SELECT rowid FROM phone_search WHERE phone_search MATCH ?))"),
                             {Phrase(search.PhoneDigits)}});
            else
                ways.append({QStringLiteral("EXISTS (SELECT 1 FROM module_phones p WHERE p.module = m.id AND "
                                            "instr(p.digits, ?) > 0)"),
                             {search.PhoneDigits}});
        }
        if (search.KeySerial)
            ways.append({QStringLiteral("m.id IN (SELECT k.module FROM module_keys k WHERE k.serial = ?)"), {*search.KeySerial}});
        if (!search.CodePrefix.isEmpty())
            ways.append({QStringLiteral("m.id IN (SELECT k.module FROM module_keys k WHERE k.code >= ? AND k.code < ?)"),
                         {search.CodePrefix, PrefixEnd(search.CodePrefix)}});
        std::map<qint64, TCatalogueModule> modules;
        for (const auto& [condition, values] : ways) {
            QSqlQuery query = store.Prepare(QStringLiteral("SELECT %1 FROM modules m WHERE %2 "
                                                           "ORDER BY m.last_time DESC, m.id DESC LIMIT ?")
                                                .arg(TStore::ModuleColumns(), condition));
            for (const QVariant& value : values)
                query.addBindValue(value);
            query.addBindValue(limit);
            if (!store.Exec(query, QStringLiteral("Каталог не нашёл модули"), e))
                return false;
            while (query.next()) {
                const TCatalogueModule module = TStore::ReadModule(query);
                modules.emplace(module.Id, module);
            }
        }
        found.clear();
        for (const auto& [id, module] : modules)
            found << module;
        std::sort(found.begin(), found.end(), [](const TCatalogueModule& a, const TCatalogueModule& b) {
            return a.LastTime != b.LastTime ? a.LastTime > b.LastTime : a.Id > b.Id;
        });
        if (found.size() > limit)
            found.resize(limit);
        return true;
    };
    if (!Read(body, error))
        found.clear();
    return found;
}

namespace {

std::optional<TCatalogueModule> OneModule(TCatalogueCore& d, const QString& condition, const QVariant& value,
                                          QString& error)
{
    std::optional<TCatalogueModule> module;
    const auto body = [&](TStore& store, QString& e) {
        QSqlQuery query = store.Prepare(QStringLiteral("SELECT %1 FROM modules m WHERE %2").arg(TStore::ModuleColumns(), condition));
        query.addBindValue(value);
        if (!store.Exec(query, QStringLiteral("Каталог не нашёл модуль"), e))
            return false;
        if (query.next())
            module = TStore::ReadModule(query);
        return true;
    };
    d.Read(body, error);
    return module;
}

// Versions in the order given, read with their module's serial number.
QList<TCatalogueVersion> Versions(TCatalogueCore& d, const QString& condition, const QVariantList& values,
                                  QString& error)
{
    QList<TCatalogueVersion> versions;
    const auto body = [&](TStore& store, QString& e) {
        versions.clear();
        QSqlQuery query = store.Prepare(QStringLiteral("SELECT %1 FROM versions v JOIN modules m ON m.id = v.module %2")
                                            .arg(TStore::VersionColumns(), condition));
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (!store.Exec(query, QStringLiteral("Каталог не прочитал версии"), e))
            return false;
        while (query.next())
            versions << TStore::ReadVersion(query);
        return true;
    };
    if (!d.Read(body, error))
        versions.clear();
    return versions;
}

}  // namespace

std::optional<TCatalogueModule> TCatalogueCore::Module(qint64 id, QString& error)
{
    return OneModule(*this, QStringLiteral("m.id = ?"), id, error);
}

std::optional<TCatalogueModule> TCatalogueCore::ModuleBySerial(const QString& serial, QString& error)
{
    return OneModule(*this, QStringLiteral("m.serial = ?"), serial, error);
}

QList<TCatalogueVersion> TCatalogueCore::History(qint64 module, QString& error)
{
    return Versions(*this, QStringLiteral("WHERE v.module = ? ORDER BY v.time_ms DESC, v.id DESC"), {module}, error);
}

std::optional<TCatalogueVersion> TCatalogueCore::Version(qint64 id, QString& error)
{
    const QList<TCatalogueVersion> versions = Versions(*this, QStringLiteral("WHERE v.id = ?"), {id}, error);
    return versions.isEmpty() ? std::nullopt : std::optional<TCatalogueVersion>(versions.first());
}

QList<TCatalogueVersion> TCatalogueCore::Backups(int limit, QString& error)
{
    return Versions(*this, QStringLiteral("WHERE v.kind = 'backup' ORDER BY v.time_ms DESC, v.id DESC LIMIT ?"), {limit},
                    error);
}

bool TCatalogueCore::SetSiteAndNotes(qint64 module, const QString& site, const QString& notes, QString& error)
{
    qint64 id = module;
    const auto body = [&](TStore& store, QString& e) {
        QSqlQuery update = store.Prepare(QStringLiteral("UPDATE modules SET site = ?, site_key = ?, notes = ? WHERE id = ?"));
        update.addBindValue(SqlText(site));
        update.addBindValue(SqlText(SiteKey(site)));
        update.addBindValue(SqlText(notes));
        update.addBindValue(id);
        if (!store.Exec(update, QStringLiteral("Каталог не сохранил место и заметки"), e))
            return false;
        if (update.numRowsAffected() != 1) {
            e = QStringLiteral("В каталоге нет этого модуля.");
            return false;
        }
        if (!Offline)
            return true;
        QSqlQuery outbox = store.Prepare(QStringLiteral("INSERT INTO outbox (what, module) VALUES ('module', ?)"));
        outbox.addBindValue(id);
        return store.Exec(outbox, QStringLiteral("Каталог не отложил место и заметки для сервера"), e);
    };
    return Write(body, error);
}

qint64 TCatalogueCore::BeginRun(QString& error)
{
    const TRun run{NewUid(), QDateTime::currentMSecsSinceEpoch()};
    qint64 id = 0;
    const auto body = [&](TStore& store, QString& e) {
        return store.RunByUid(run.Uid, ThisStation(), ThisUser(), run.Started, id, e);
    };
    if (!Write(body, error))
        return 0;
    Runs[id] = run;
    return id;
}

QList<TCatalogueVersion> TCatalogueCore::RunVersions(qint64 run, QString& error)
{
    qint64 id = 0;
    QString e;
    if (Ready(error) && !RunIn(*Store, run, id, e)) {
        error = e;
        return {};
    }
    return Versions(*this, QStringLiteral("WHERE v.run = ? AND v.kind = 'line' ORDER BY v.id"), {id}, error);
}
