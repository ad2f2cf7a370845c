#include <QIcon>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Form_Main.h"
#include "device/ToolCore.h"
#include "ui/Formtools.h"
#include "util/Signals.h"
#include "util/Version.h"

int main(int argc, char** argv)
{
#ifdef Q_OS_WIN
    // With MinGW's emulated thread-local storage, the JIT stack QRegularExpression keeps per thread
    // is freed before its destructor runs, which then crashes every thread of ours that matched a
    // pattern (a production line's port with a catalogue on a server) as it ends.
    qputenv("QT_ENABLE_REGEXP_JIT", "0");
#endif
    // Before anything can save a file: a save past the file size limit fails with its reason
    // rather than killing the program and leaving its temporary file behind.
    IgnoreFileSizeSignal();
    // Help and the version need no display: they are answered before the window's application
    // exists. Its own options (-platform, -style) are taken out of the arguments only by it.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const TCommandLine::TAction early = ParseCommandLine(WithoutQtOptions(raw)).Action;
    // A refused command line is answered before the window's application too: with no display
    // its platform plugin would end the process before the tool could say what was wrong.
    if (early == TCommandLine::ShowHelp || early == TCommandLine::ShowVersion || early == TCommandLine::Fail) {
        QCoreApplication core(argc, argv);
        InstallQtTranslation(core);
        return ReportCommandLine(ParseCommandLine(WithoutQtOptions(QCoreApplication::arguments())));
    }
    // The series of modules from the command line and the catalogue's look-ups run with no window
    // and no display.
    const bool quiet = early == TCommandLine::Batch || early == TCommandLine::Find || early == TCommandLine::History;
    if (quiet || raw.contains(QStringLiteral("--batch")) || raw.contains(QStringLiteral("--find")) ||
        raw.contains(QStringLiteral("--history"))) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("ZEM 2.0"));
        InstallQtTranslation(core);
        const TCommandLine line = ParseCommandLine(QCoreApplication::arguments());
        switch (line.Action) {
        case TCommandLine::Batch:
            return RunBatch(line);
        case TCommandLine::Find:
            return RunFind(line);
        case TCommandLine::History:
            return RunHistory(line);
        default:
            return ReportCommandLine(line);
        }
    }

    TApplication app(argc, argv);
    SetupApplicationLook(app);
    const TCommandLine line = ParseCommandLine(QCoreApplication::arguments());
    if (line.Action != TCommandLine::Run)
        return ReportCommandLine(line);
    // The desktop matches the window to its menu entry, and shows the entry's icon.
    QGuiApplication::setDesktopFileName(QLatin1String(AppId));
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QLatin1String(AppId)));
    try {
        TToolCore core;
        core.OpenCatalogue(line.Catalogue);
        TMainForm form(&core);
        ApplyCommandLine(line, form);
        form.show();
        return app.exec();
    } catch (...) {
        TApplication::ShowException();
        return 1;
    }
}
