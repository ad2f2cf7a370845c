#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "module/ModuleCopy.h"

class TCatalogue;
class TExchangeRecorder;

// How one module on the line ended.
struct TLineResult {
    QDateTime Started;
    QString Port;
    QString Adapter;       // the USB adapter's serial number, when the system knows it
    QString SerialBefore;  // the module's serial number as read ("????????" when erased: ShownGprsSerial)
    QString SerialAfter;   // the serial number it was given (or kept)
    bool Passed = false;
    QString Cause;         // why it failed
    double Seconds = 0;
    QString ReportProblem;  // the report line could not be saved: why
};

// What a port's worker tells, on its own thread.
struct TLineEvent {
    enum TKind {
        Waiting,  // for a module to answer
        Working,  // on a module: Step of Total in Text ("запись: ключи: блок 2 из 8")
        Ended,    // a module ended: Result
        Stopped   // the worker has ended; Text: why, when it was not asked to
    };
    TKind Kind = Waiting;
    QString Port;
    int Step = 0;
    int Total = 0;
    QString Text;
    TLineResult Result;
};

struct TLineOptions {
    // What every module gets: the areas the copy holds.
    TModuleCopy Template;
    // The module catalogue (a file path or a server's URI) every module's row is committed to,
    // with its backup before the write; each worker opens its own. Empty: none, and the backups
    // are files in the backups folder.
    QString Catalogue;
    // The series' first number: each module's GPRS block (the template's, or the module's own
    // when the template writes none) gets the series' lowest free number from the catalogue.
    // 0: serial numbers stay as they are.
    quint32 SerialFrom = 0;
    // The counter file of the tool's versions before the catalogue: it and the backups folder
    // come into the catalogue once, before the first number goes out. Empty: not looked for.
    QString OldCounterFile;
    // The run's rows are exported here as CSV after each module, after the rows the file held
    // before; empty: no export.
    QString ReportFile;
    // Each port takes one module and its worker ends; a module that does not answer within
    // AnswerPatienceMs fails. Otherwise a port waits for modules until stopped.
    bool Once = false;
    int AnswerPatienceMs = 10000;
    // The USB adapter's serial number behind a port (called on the worker's thread).
    std::function<QString(const QString& port)> AdapterSerial;
    // Called on the workers' threads, one call at a time.
    std::function<void(const TLineEvent&)> Events;
    // Every port's exchanges are recorded there, named by port (null: nowhere).
    TExchangeRecorder* Recorder = nullptr;
};

// A production line: one worker per port, each with its own device session, catalogue and thread,
// that sets up module after module with the template. Per module: waits until it answers, reads
// it whole and keeps it as a backup, reserves its serial number, writes the template (with that
// number), reads back what was written and compares it byte for byte, and commits the module's
// row with its number; then waits for the module to go and the next one to answer. A port whose
// commit fails stops there, with the cause, before its next module. Made, started and destroyed
// on one thread (its own catalogue connection is that thread's).
class TProductionLine {
public:
    explicit TProductionLine(TLineOptions options);
    ~TProductionLine();  // stops and waits for the workers
    TProductionLine(const TProductionLine&) = delete;
    TProductionLine& operator=(const TProductionLine&) = delete;

    // False, with the cause in the operator's words, when the line cannot start: the catalogue
    // does not open (with numbering: the server is out of reach), or the report file is not a
    // report of the line's. Started again once Wait has returned, it takes its next modules into
    // the same run (and the same export).
    bool Start(const QStringList& ports, QString& error);
    // Why the ports cannot make one line (two of them name one device), or empty. Checked
    // before Start: two workers on one device would set one module up twice, taking two numbers.
    static QString PortsProblem(const QStringList& ports);
    // Asks every worker to stop after the exchange under way. A module being set up then fails,
    // its cause saying where it stopped and how much of it was written; with Once, a port still
    // waiting for its module ends with a line too.
    void Stop();
    // Returns when every worker has ended.
    void Wait();

    int Passed() const { return FPassed.load(); }
    int Failed() const { return FFailed.load(); }

    // The catalogue's run the modules' rows belong to; 0 without a catalogue.
    qint64 Run() const { return FRun; }

    // The report's first line, and one module's line.
    static QString ReportHeader();
    static QString ReportLine(const TLineResult& result);
    // Reads a report file before it is rewritten: empty `bytes` for a file not there (or empty),
    // else what it holds. False with the cause for a file that is not such a report.
    static bool ReadReport(const QString& fileName, QByteArray& bytes, QString& error);

private:
    class TWorker;
    friend class TWorker;
    void Emit(const TLineEvent& event);
    void Finish(TLineResult& result);

    const TLineOptions FOptions;
    // The line's own catalogue, on the thread that started it; the run it began.
    std::unique_ptr<TCatalogue> FCatalogue;
    qint64 FRun = 0;
    std::mutex FEventMutex;
    std::mutex FReportMutex;
    QByteArray FReport;  // the export as saved last: the file's rows from before the run, then the run's
    std::atomic<int> FPassed{0};
    std::atomic<int> FFailed{0};
    std::vector<std::unique_ptr<TWorker>> FWorkers;
};
