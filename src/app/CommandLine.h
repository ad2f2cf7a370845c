#pragma once
#include <QString>
#include <QStringList>

class TMainForm;

// What the tool was started with, read with Qt's conventions.
struct TCommandLine {
    enum TAction { Run, ShowHelp, ShowVersion, Fail };
    TAction Action = Run;
    QString Port;  // the port chosen for this run; empty: the one ZEM.cfg keeps
    QString File;  // a module copy to open once the window is up, as an absolute path
    QString Text;  // what ShowHelp, ShowVersion and Fail print
};

// The arguments as QCoreApplication::arguments() gives them, the program first.
TCommandLine ParseCommandLine(const QStringList& arguments);

// Prints the text of a command line that does not run the window (help, the version, the
// error); the process's exit code.
int ReportCommandLine(const TCommandLine& line);

// Hands the port and the file to a window not shown yet; the file opens once events run.
void ApplyCommandLine(const TCommandLine& line, TMainForm& form);
