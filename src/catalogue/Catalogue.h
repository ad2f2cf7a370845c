#pragma once
// The module catalogue: every module the tool has met, by its serial number, with a version for
// each read of the whole module, each backup before a write, each write and each module of a
// production line. SQLite in one file of the user's by default; PostgreSQL for a company. The
// database decides what is recorded and which serial number goes out: a transaction, a unique
// constraint, never a file read at start. One object per thread (a Qt SQL connection is the
// thread's own).
#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

#include "catalogue/CatalogueTypes.h"
#include "module/ModuleCopy.h"

class TCatalogue {
public:
    // "catalogue.sqlite" in the user's data folder.
    static QString DefaultLocation();
    // A libpq URI: postgresql://[user@]host[:port]/dbname[?sslmode=…][&host=/socket/folder].
    // Anything else is a file path. The password is never part of what the tool stores.
    static bool IsServerUrl(const QString& url);

    TCatalogue();
    ~TCatalogue();
    TCatalogue(const TCatalogue&) = delete;
    TCatalogue& operator=(const TCatalogue&) = delete;

    // Opens the catalogue, creating it (the file; the schema on a server) and upgrading an older
    // schema in one transaction. False, with the cause in the installer's words, when it cannot:
    // the server out of reach, a role that may not create the schema, a newer schema than this
    // tool knows, a file that is not a catalogue.
    bool Open(const QString& url, QString& error);
    // With a server chosen and out of reach: the local file instead, everything recorded kept
    // in an outbox for the server. True when either is open; Offline() tells which.
    bool OpenPreferred(const QString& url, QString& error);
    // The local file OpenPreferred falls back on; DefaultLocation() unless set before it.
    void SetLocalLocation(const QString& file);
    bool IsOpen() const;
    bool IsServer() const;
    bool Offline() const;
    // The one line the window shows about where the catalogue is (no password, ever).
    QString Description() const;
    // Sends what was recorded offline to the server, each version once; the number sent, or -1
    // with the cause (the server still out of reach: the outbox waits). Once it is empty an
    // offline catalogue works on the server again. A server that stops answering while open
    // makes the catalogue offline at the next record, with nothing lost.
    int SendOutbox(QString& error);

    // A version of the module the copy is of (found or added by its serial number). Versions are
    // never changed or deleted. A number reserved by a process that died is the module's once a
    // version shows the module holding it.
    bool Record(const TModuleCopy& copy, const TVersionInfo& info, QString& error, qint64* version = nullptr);

    // As you type: modules whose serial number begins with the text, whose site holds it, one of
    // whose subscribers' phones holds its digits, or one of whose keys has it as its decimal serial
    // number or begins with it as its code; newest first, at most `limit`.
    QList<TCatalogueModule> Find(const QString& text, int limit, QString& error);
    std::optional<TCatalogueModule> Module(qint64 id, QString& error);
    std::optional<TCatalogueModule> ModuleBySerial(const QString& serial, QString& error);
    // Newest first.
    QList<TCatalogueVersion> History(qint64 module, QString& error);
    std::optional<TCatalogueVersion> Version(qint64 id, QString& error);
    bool SetSiteAndNotes(qint64 module, const QString& site, const QString& notes, QString& error);
    // The backups before writes, newest first ("Резервные копии…").
    QList<TCatalogueVersion> Backups(int limit, QString& error);

    // Serial numbers, series by series (a series is known by its first number; starting one
    // again continues it). The lowest free number of the series, reserved for the port; none
    // when its eight digits have run out, or with the error. Numbering is the server's alone: on
    // an offline catalogue it fails with the cause.
    std::optional<quint32> Reserve(quint32 series, const QString& port, QString& error);
    // The module with the number passed: its version recorded and the number used up, in one
    // transaction.
    bool UseSerial(quint32 number, const TModuleCopy& copy, const TVersionInfo& info, QString& error,
                   qint64* version = nullptr);
    // The module is known not to hold the number (nothing was written, or the read-back shows the
    // old one): free for the next module.
    bool GiveBack(quint32 number, QString& error);
    // Numbers reserved and not yet used or given back, oldest first; an operator may release one.
    QList<TSerialReservation> Reservations(QString& error);
    bool Release(quint32 number, QString& error);

    // A production line's run; its report's rows are its versions of kind Line.
    qint64 BeginRun(QString& error);
    QList<TCatalogueVersion> RunVersions(qint64 run, QString& error);

    // Once per catalogue: the backup files of the old folder and the old serial-counter.txt come
    // in (the files stay where they are). The number of backups taken in, or -1 with the cause.
    // "Once" is per user and station: a server's catalogue takes in each station's old files.
    int ImportOnce(const QString& backupsFolder, const QString& counterFile, QString& error);

private:
    class TImpl;
    std::unique_ptr<TImpl> FImpl;
};
