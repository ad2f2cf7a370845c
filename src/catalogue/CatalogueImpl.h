#pragma once
// The catalogue's parts shared by its source files.
#include <QString>

#include <map>
#include <memory>

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueStore.h"

// This host's name, the user's login name, this process.
QString ThisStation();
QString ThisUser();
qint64 ThisProcess();
bool ProcessAlive(qint64 pid);
QString NewUid();

class TCatalogue::TImpl {
public:
    std::unique_ptr<TStore> Store;  // where the catalogue works now
    bool Server = false;            // Store is the server
    bool Offline = false;           // a server is chosen, Store is the local file
    QString PreferredUrl;           // OpenPreferred's server, when one was chosen
    TServerAddress Address;
    QString LocalFile;
    QString OfflineCause;

    // The runs this object began: what a version names by its id here, by uid in any store.
    struct TRun {
        QString Uid;
        qint64 Started = 0;
    };
    std::map<qint64, TRun> Runs;

    bool Ready(QString& error) const;
    // A body run in one write transaction, again after a lost race (a unique key another
    // station took first) and, once, on the local file when a preferred server stops answering.
    template <class TBody>
    bool Write(TBody body, QString& error);
    // A read, with the same fallback.
    template <class TBody>
    bool Read(TBody body, QString& error);
    // Numbering needs the server: false with the cause when offline.
    bool Numbering(QString& error) const;

    bool FallBack(QString& error);
    // Works on the store from now on, its schema made current.
    bool Adopt(std::unique_ptr<TStore> store, QString& error);
    TVersionRow MakeRow(const TModuleCopy& copy, const TVersionInfo& info) const;
    // The run's id in the store (a run begun here, wherever it was begun); 0 for none.
    bool RunIn(TStore& store, qint64 run, qint64& id, QString& error);
    // Records the row, into the outbox too when offline.
    bool RecordRow(TStore& store, TVersionRow row, TRecorded& recorded, QString& error);
};

constexpr int kRaceRetries = 5;

template <class TBody>
bool TCatalogue::TImpl::Write(TBody body, QString& error)
{
    if (!Ready(error))
        return false;
    bool fellBack = false;
    for (int attempt = 0;; ++attempt) {
        error.clear();
        if (Store->Begin(error)) {
            if (body(*Store, error) && Store->Commit(error))
                return true;
            Store->Rollback();
        }
        if (Store->LastWasUniqueViolation() && attempt < kRaceRetries)
            continue;
        if (fellBack || !Server || PreferredUrl.isEmpty() || Store->Alive())
            return false;
        fellBack = true;
        if (!FallBack(error))
            return false;
    }
}

template <class TBody>
bool TCatalogue::TImpl::Read(TBody body, QString& error)
{
    if (!Ready(error))
        return false;
    error.clear();
    if (body(*Store, error))
        return true;
    if (!Server || PreferredUrl.isEmpty() || Store->Alive())
        return false;
    return FallBack(error) && body(*Store, error);
}
