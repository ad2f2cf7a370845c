#pragma once
// One catalogue database behind the catalogue: an SQLite file or a PostgreSQL server through
// Qt SQL, its schema, and the statements both kinds share. A statement that differs between
// them is written once with the dialect's words put in.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include "catalogue/CatalogueDialect.h"
#include "catalogue/CatalogueTypes.h"

// The parts of a libpq URI the connection takes.
struct TServerAddress {
    QString User;
    QString Host;      // a name, an address, or a socket folder
    int Port = -1;
    QString Database;
    QString Options;   // libpq's key=value pairs, ";" between them, as Qt passes them on
    // "user@host:port/dbname": what the operator is shown (there is never a password in it).
    QString Text() const;
};
bool ParseServerUrl(const QString& url, TServerAddress& address, QString& error);

// The schema this tool creates, and the oldest it still opens (by upgrading it).
constexpr int CatalogueSchemaVersion = 1;

// A version as it goes into a store.
struct TVersionRow {
    QString Uid;
    QString Serial;      // the module's eight digits; empty: a module "без номера"
    QString FirstPort;   // a module "без номера" is the one met on this port at this time
    qint64 FirstTime = 0;
    TVersionInfo Info;   // station, user and time filled in
    TModuleCopy Copy;
    qint64 Run = 0;      // the run's id in this store
};

struct TRecorded {
    qint64 Version = 0;
    qint64 Module = 0;
    bool Inserted = false;  // false: a version with its uid was there already
};

class TStore {
public:
    TStore();
    ~TStore();
    TStore(const TStore&) = delete;
    TStore& operator=(const TStore&) = delete;

    // The file: refused when it is a link or not a regular file; created owner-only (in a folder
    // created private) when missing.
    bool OpenFile(const QString& path, QString& error);
    bool OpenServer(const TServerAddress& address, QString& error);
    // Creates the schema or upgrades it, in one transaction.
    bool PrepareSchema(QString& error);
    void Close();
    bool IsOpen() const { return FOpen; }
    TDialect Dialect() const { return FDialect; }
    // Where it is, as the operator is told: a file's path or the server's address.
    const QString& Where() const { return FWhere; }
    // A trigram index for texts held inside sites and phones.
    bool HasTextIndex() const { return FTextIndex; }
    // The server still answers.
    bool Alive();

    // A write transaction takes the database's write lock at once (SQLite: BEGIN IMMEDIATE), so
    // that two writers wait for each other instead of one failing at its first write.
    bool Begin(QString& error);
    bool Commit(QString& error);
    void Rollback();

    QSqlQuery Prepare(const QString& sql);
    // Runs a prepared query; false with "<what>: <the database's words>".
    bool Exec(QSqlQuery& query, const QString& what, QString& error);
    bool Exec(const QString& sql, const QString& what, QString& error);
    // The database's code of the last failure: SQLSTATE on PostgreSQL, SQLite's result code.
    QString LastCode() const { return FLastCode; }
    bool LastWasUniqueViolation() const;
    bool LastWasPrivilege() const;

    // Inside a write transaction: the module found or added, the version added (once by its
    // uid), the module's search terms, and its serial number used up as the module's.
    bool RecordVersion(const TVersionRow& row, TRecorded& recorded, QString& error);
    // The module of the row found or added by its identity.
    bool ModuleId(const TVersionRow& row, qint64& id, QString& error);
    // The run with this uid, added when missing.
    bool RunByUid(const QString& uid, const QString& station, const QString& user, qint64 started, qint64& id,
                  QString& error);

    // The columns a module and a version are read with, and reading them.
    static QString ModuleColumns();
    static QString VersionColumns();
    static TCatalogueModule ReadModule(const QSqlQuery& query);
    static TCatalogueVersion ReadVersion(const QSqlQuery& query);

private:
    QString Failure(const QString& what, const class QSqlError& sqlError);
    void Failed();

    QString FName;
    TDialect FDialect = TDialect::Sqlite;
    bool FOpen = false;
    bool FTextIndex = false;
    QString FWhere;
    QString FLastCode;
    bool FInTransaction = false;
    int FSavepoints = 0;  // inside one, a failure ends only the savepoint
};

// A text bound as a text even when it is empty: a null QString would go in as NULL.
inline QVariant SqlText(const QString& text)
{
    return text.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(text);
}

// The words of the failure as the database gave them, on one line.
QString DatabaseText(const class QSqlError& error);
