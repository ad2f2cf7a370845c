#pragma once
// What TCatalogue does, in the source files that share it: the store it works on now, the
// server it prefers and the fallback to the local file.
#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <optional>

#include "catalogue/CatalogueStore.h"
#include "catalogue/CatalogueTypes.h"

QString DefaultCatalogueLocation();
bool IsCatalogueServerUrl(const QString& url);

// This host's name, the user's login name, this process.
QString ThisStation();
QString ThisUser();
qint64 ThisProcess();
bool ProcessAlive(qint64 pid);
QString NewUid();

// TCatalogue's operations, each as TCatalogue describes it.
class TCatalogueCore {
public:
    bool Open(const QString& url, QString& error);
    bool OpenPreferred(const QString& url, QString& error);
    void SetLocalLocation(const QString& file);
    bool IsOpen() const;
    bool IsServer() const;
    bool IsOffline() const;
    QString Description() const;
    int SendOutbox(QString& error);
    bool Record(const TModuleCopy& copy, const TVersionInfo& info, QString& error, qint64* version);
    QList<TCatalogueModule> Find(const QString& text, int limit, QString& error);
    std::optional<TCatalogueModule> Module(qint64 id, QString& error);
    std::optional<TCatalogueModule> ModuleBySerial(const QString& serial, QString& error);
    QList<TCatalogueVersion> History(qint64 module, QString& error);
    std::optional<TCatalogueVersion> Version(qint64 id, QString& error);
    bool SetSiteAndNotes(qint64 module, const QString& site, const QString& notes, QString& error);
    QList<TCatalogueVersion> Backups(int limit, QString& error);
    std::optional<quint32> Reserve(quint32 series, const QString& port, QString& error);
    bool UseSerial(quint32 number, const TModuleCopy& copy, const TVersionInfo& info, QString& error, qint64* version);
    bool GiveBack(quint32 number, QString& error);
    QList<TSerialReservation> Reservations(QString& error);
    bool Release(quint32 number, QString& error);
    qint64 BeginRun(QString& error);
    QList<TCatalogueVersion> RunVersions(qint64 run, QString& error);
    int ImportOnce(const QString& backupsFolder, const QString& counterFile, QString& error);

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
bool TCatalogueCore::Write(TBody body, QString& error)
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
bool TCatalogueCore::Read(TBody body, QString& error)
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
