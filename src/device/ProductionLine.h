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

class TExchangeRecorder;
class TSerialCounter;

// How one module on the line ended.
struct TLineResult {
    QDateTime Started;
    QString Port;
    QString Adapter;       // the USB adapter's serial number, when the system knows it
    QString SerialBefore;  // the module's serial number as read ("????????" when erased)
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
        Stopped   // the worker has ended
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
    // Gives each module the next serial number in its GPRS block (the template's block, or the
    // module's own when the template writes none); null: serial numbers stay as they are.
    TSerialCounter* Counter = nullptr;
    // One CSV line per module is appended here; empty: no report.
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

// A production line: one worker per port, each with its own device session and thread, that sets
// up module after module with the template. Per module: waits until it answers, reads
// it whole and keeps it as a backup named by its serial number, writes the template (with the
// module's serial number), reads back what was written and compares it byte for byte, and appends
// a report line; then waits for the module to go and the next one to answer.
class TProductionLine {
public:
    explicit TProductionLine(TLineOptions options);
    ~TProductionLine();  // stops and waits for the workers
    TProductionLine(const TProductionLine&) = delete;
    TProductionLine& operator=(const TProductionLine&) = delete;

    void Start(const QStringList& ports);
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

    // The report's first line, and one module's line.
    static QString ReportHeader();
    static QString ReportLine(const TLineResult& result);

private:
    class TWorker;
    friend class TWorker;
    void Emit(const TLineEvent& event);
    void Finish(TLineResult& result);

    const TLineOptions FOptions;
    std::mutex FEventMutex;
    std::mutex FReportMutex;
    std::atomic<int> FPassed{0};
    std::atomic<int> FFailed{0};
    std::vector<std::unique_ptr<TWorker>> FWorkers;
};
