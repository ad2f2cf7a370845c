#pragma once
#include <QString>
#include <QStringList>

class TMainForm;

// What the tool was started with, read with Qt's conventions.
struct TCommandLine {
    enum TAction { Run, Batch, Find, History, ShowHelp, ShowVersion, Fail };
    TAction Action = Run;
    QString Port;  // the port chosen for this run; empty: the one ZEM.cfg keeps
    QString File;  // a module copy to open once the window is up, as an absolute path
    QString Text;  // what ShowHelp, ShowVersion and Fail print
    // The module catalogue: a file path (absolute) or a server's URI; empty: the one ZEM.cfg
    // names, else the default one (TToolCore::CatalogueLocation).
    QString Catalogue;
    QString Query;  // Find: the text looked for; History: the module's eight-digit serial number
    // Batch: modules set up with a template, with no window.
    QString Template;      // the module copy written, as an absolute path
    QStringList Ports;     // one worker each
    quint32 SerialFrom = 0;  // the series' first number; 0: serial numbers stay as they are
    QString Report;        // the CSV report; empty: the default one
    bool Once = false;     // each port takes one module, then the program ends
};

// The arguments as QCoreApplication::arguments() gives them, the program first.
TCommandLine ParseCommandLine(const QStringList& arguments);

// The arguments without the window application's own options (-platform, -style, …), which it
// takes out itself once it exists.
QStringList WithoutQtOptions(const QStringList& arguments);

// Prints the text of a command line that does not run the window (help, the version, the
// error); the process's exit code.
int ReportCommandLine(const TCommandLine& line);

// Sets up modules on the line's ports until interrupted or, with Once, one module a port; prints
// one line per module. The process's exit code: 0 when every module passed (with Once), its row
// was saved and no port stopped on its own.
int RunBatch(const TCommandLine& line);

// Prints one line per module the text finds in the catalogue (Find), or one per version of the
// module with that serial number (History). The exit code: 0 when something was found, 1 when
// nothing was, 2 when the catalogue could not be read.
int RunFind(const TCommandLine& line);
int RunHistory(const TCommandLine& line);

// Hands the port and the file to a window not shown yet; the file opens once events run.
void ApplyCommandLine(const TCommandLine& line, TMainForm& form);
