#pragma once
// What the catalogue's tests and benchmark share: module copies to record, and a fresh catalogue
// on either database.
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

#include "PgCluster.h"
#include "TempFiles.h"
#include "catalogue/Catalogue.h"

// A module with this serial number (empty: erased), these subscribers' phones and these keys.
TModuleCopy CatalogueCopy(const QString& serial, const QStringList& phones = {}, const QList<qint64>& keys = {});

enum class TBackend { Sqlite, Postgres };
const char* BackendName(TBackend backend);

// This program's private PostgreSQL cluster, started at the first call.
TPgCluster& SharedCluster();

// A new, empty catalogue's address; Unavailable says why there is none (no PostgreSQL here).
class TCatalogueSpot {
public:
    explicit TCatalogueSpot(TBackend backend);
    std::string Unavailable;
    TBackend Backend;
    QString Url;
    std::string Database;  // on the server
    // Runs SQL on the catalogue's database outside the catalogue, as an administrator would.
    bool Sql(const QString& sql, std::string* output = nullptr);

private:
    TTempDir FDir;
};
