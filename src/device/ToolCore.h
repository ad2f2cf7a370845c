#pragma once
#include <QString>

#include <functional>
#include <memory>

class TCatalogue;
class TDailyLog;
class TDeviceSession;
class TExchangeRecorder;
class TIniFile;

// What the program makes once and hands down: the configuration file "ZEM.cfg", the record of
// every exchange with its daily log, the window's session with the module and the window's
// catalogue of modules. The production line's sessions record into the same recorder.
class TToolCore {
public:
    // ZEM.cfg's switch for the daily log: [Log] Enabled=0 turns it off.
    static constexpr const char* kLogSection = "Log";
    static constexpr const char* kLogKey = "Enabled";
    // ZEM.cfg's choice of the catalogue: [Catalogue] Database=URL (a file path or a libpq URI).
    static constexpr const char* kCatalogueSection = "Catalogue";
    static constexpr const char* kCatalogueKey = "Database";

    // The daily log goes into logFolder ("logs" in the user's data folder when empty).
    explicit TToolCore(const QString& logFolder = QString());
    ~TToolCore();
    TToolCore(const TToolCore&) = delete;
    TToolCore& operator=(const TToolCore&) = delete;

    TIniFile& Config() { return *FConfig; }
    TExchangeRecorder& Recorder() { return *FRecorder; }
    TDeviceSession& Session() { return *FSession; }
    // Null when turned off.
    TDailyLog* Log() const { return FLog.get(); }

    // Opens the window's catalogue at `url` (the command line's), else at ZEM.cfg's, else at its
    // default file; a server out of reach leaves the local file open in its place. Then, once per
    // catalogue, takes in the old backups folder and serial-counter.txt. False when no catalogue
    // could be opened: the tool works on without one, and CatalogueProblem() says why.
    bool OpenCatalogue(const QString& url = QString());
    // The catalogue a run works on: `given` (the command line's), else "[Catalogue] Database=" of
    // ZEM.cfg (a relative path there is ZEM.cfg's folder's), else TCatalogue::DefaultLocation().
    QString CatalogueLocation(const QString& given = QString()) const;
    // The same rule over a ZEM.cfg of the caller's (a run that needs nothing else of the core).
    static QString CatalogueLocation(const TIniFile& config, const QString& given);
    // Where OpenCatalogue opened it (or tried to).
    const QString& CatalogueUrl() const { return FCatalogueUrl; }
    // Opened at first use by OpenCatalogue() when it was not called before. On the GUI thread
    // only: the catalogue's connection is its thread's.
    TCatalogue& Catalogue();
    // Why the catalogue is not open, or why the old files could not be taken in; empty when all
    // went well.
    const QString& CatalogueProblem() const { return FCatalogueProblem; }

    // The USB adapter's serial number behind a port, when the system knows it (empty otherwise).
    // The window's floor, which can ask the system, sets the lookup.
    QString AdapterSerial(const QString& port) const { return FAdapterSerial ? FAdapterSerial(port) : QString(); }
    void SetAdapterSerial(std::function<QString(const QString& port)> lookup) { FAdapterSerial = std::move(lookup); }

private:
    std::unique_ptr<TIniFile> FConfig;
    std::unique_ptr<TDailyLog> FLog;
    std::unique_ptr<TExchangeRecorder> FRecorder;
    std::unique_ptr<TCatalogue> FCatalogue;
    QString FCatalogueUrl;
    bool FCatalogueTried = false;
    QString FCatalogueProblem;
    std::function<QString(const QString&)> FAdapterSerial;
    std::unique_ptr<TDeviceSession> FSession;  // last: it records into FRecorder until it goes
};
