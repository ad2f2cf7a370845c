#pragma once
#include <QString>
#include <QStringList>

class TMainForm;

// What the tool was started with, read with Qt's conventions.
struct TCommandLine {
    enum TAction { Run, Batch, ShowHelp, ShowVersion, Fail };
    TAction Action = Run;
    QString Port;  // the port chosen for this run; empty: the one ZEM.cfg keeps
    QString File;  // a module copy to open once the window is up, as an absolute path
    QString Text;  // what ShowHelp, ShowVersion and Fail print
    // Batch: modules set up with a template, with no window.
    QString Template;      // the module copy written, as an absolute path
    QStringList Ports;     // one worker each
    qint64 SerialFrom = -1;  // serial numbers from here on; -1: they stay as they are
    QString Report;        // the CSV report; empty: the default one
    bool Once = false;     // each port takes one module, then the program ends
};

// The arguments as QCoreApplication::arguments() gives them, the program first.
TCommandLine ParseCommandLine(const QStringList& arguments);

// Prints the text of a command line that does not run the window (help, the version, the
// error); the process's exit code.
int ReportCommandLine(const TCommandLine& line);

// Sets up modules on the line's ports until interrupted or, with Once, one module a port; prints
// one line per module. The process's exit code: 0 when every module passed (with Once).
int RunBatch(const TCommandLine& line);

// Hands the port and the file to a window not shown yet; the file opens once events run.
void ApplyCommandLine(const TCommandLine& line, TMainForm& form);
