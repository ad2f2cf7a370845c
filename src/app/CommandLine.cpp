#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "app/Form_Main.h"
#include "util/Version.h"

TCommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("ZEM 2.0 — настройка GSM-модуля сигнализации и контроля доступа ZEM."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption port(
        {QStringLiteral("p"), QStringLiteral("port")},
        QStringLiteral("Выбрать порт модуля при запуске (например, %1). Порт в ZEM.cfg "
                       "меняется, только если выбрать другой порт в поле «Порт».")
#ifdef Q_OS_WIN
            .arg(QStringLiteral("COM3")),
#else
            .arg(QStringLiteral("/dev/ttyUSB0")),
#endif
        QStringLiteral("путь"));
    parser.addOption(port);
    parser.addPositionalArgument(QStringLiteral("файл"),
                                 QStringLiteral("Копия модуля (.zem): открыть её при запуске."),
                                 QStringLiteral("[файл]"));

    TCommandLine line;
    const QString program = QFileInfo(arguments.value(0, QStringLiteral("zem"))).fileName();
    auto fail = [&](const QString& error) {
        line.Action = TCommandLine::Fail;
        line.Text = QStringLiteral("%1: %2\nПараметры: %1 --help").arg(program, error);
        return line;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    // Asked for help or the version, the tool answers that whatever else was given.
    if (parser.isSet(help)) {
        line.Action = TCommandLine::ShowHelp;
        line.Text = parser.helpText();
        return line;
    }
    if (parser.isSet(version)) {
        line.Action = TCommandLine::ShowVersion;
        line.Text = QStringLiteral("ZEM %1").arg(QLatin1String(AppVersion));
        return line;
    }
    line.Port = parser.value(port).trimmed();
    if (parser.isSet(port) && line.Port.isEmpty())
        return fail(QStringLiteral("после --port нужен путь к порту."));
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return fail(QStringLiteral("лишний аргумент «%1»: открыть можно один файл.").arg(files[1]));
    if (!files.isEmpty()) {
        const QFileInfo file(files[0]);
        if (!file.exists())
            return fail(QStringLiteral("файл «%1» не найден.").arg(files[0]));
        if (!file.isFile())
            return fail(QStringLiteral("«%1» — не файл.").arg(files[0]));
        line.File = file.absoluteFilePath();
    }
    return line;
}

int ReportCommandLine(const TCommandLine& line)
{
    const bool failed = line.Action == TCommandLine::Fail;
#ifdef Q_OS_WIN
    // A window program has no console of its own: the text goes to the one it was started from.
    // Its code page is set to UTF-8, which holds every letter, where the ANSI one would not.
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        (void)!std::freopen("CONOUT$", "w", stdout);
        (void)!std::freopen("CONOUT$", "w", stderr);
    }
    SetConsoleOutputCP(CP_UTF8);
    QByteArray text = line.Text.toUtf8();
#else
    QByteArray text = line.Text.toLocal8Bit();
#endif
    if (!text.endsWith('\n'))
        text += '\n';
    std::fputs(text.constData(), failed ? stderr : stdout);
    return failed ? 1 : 0;
}

void ApplyCommandLine(const TCommandLine& line, TMainForm& form)
{
    if (!line.Port.isEmpty())
        form.ChoosePortForThisRun(line.Port);
    if (!line.File.isEmpty()) {
        // Queued, so that the file's questions and report stand over the window shown.
        QTimer::singleShot(0, &form, [&form, file = line.File] { form.OpenFile(file); });
    }
}
