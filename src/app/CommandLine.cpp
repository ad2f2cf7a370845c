#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <atomic>
#include <cstdio>
#include <exception>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "app/Form_Main.h"
#include "app/PortComboBox.h"
#include "device/ProductionLine.h"
#include "device/ToolCore.h"
#include "module/GprsBlock.h"
#include "module/ModuleFile.h"
#include "module/SerialCounter.h"
#include "util/Signals.h"
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
            .arg(ExamplePortLocation()),
        QStringLiteral("путь"));
    parser.addOption(port);
    const QCommandLineOption batch(
        QStringLiteral("batch"),
        QStringLiteral("Серийная настройка без окна: записать копию модуля в модуль на каждом порту "
                       "(--port, можно несколько), проверить и дописать строку в отчёт; затем ждать следующий модуль."),
        QStringLiteral("копия.zem"));
    parser.addOption(batch);
    const QCommandLineOption serialFrom(
        QStringLiteral("serial-from"),
        QStringLiteral("Давать модулям серийные номера по порядку, начиная с N (тот же N продолжает прежний счёт)."),
        QStringLiteral("N"));
    parser.addOption(serialFrom);
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("Файл отчёта CSV (по умолчанию — в папке данных программы)."),
                                    QStringLiteral("файл"));
    parser.addOption(report);
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("Настроить по одному модулю на каждом порту и выйти: код 0, "
                                                 "если все успешно и каждая строка отчёта сохранена, иначе 1."));
    parser.addOption(once);
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
    for (const QString& value : parser.values(port)) {
        if (value.trimmed().isEmpty())
            return fail(QStringLiteral("после --port нужен путь к порту."));
        if (!line.Ports.contains(value.trimmed()))
            line.Ports << value.trimmed();
    }
    line.Port = line.Ports.value(0);
    if (parser.isSet(batch)) {
        line.Action = TCommandLine::Batch;
        const QFileInfo file(parser.value(batch));
        if (!file.isFile())
            return fail(QStringLiteral("файл «%1» не найден.").arg(parser.value(batch)));
        line.Template = file.absoluteFilePath();
        if (line.Ports.isEmpty())
            return fail(QStringLiteral("для --batch нужен хотя бы один --port."));
        const QString samePort = TProductionLine::PortsProblem(line.Ports);
        if (!samePort.isEmpty())
            return fail(samePort);
        if (parser.isSet(serialFrom)) {
            bool ok = false;
            line.SerialFrom = parser.value(serialFrom).toLongLong(&ok);
            if (!ok || line.SerialFrom < 0 || line.SerialFrom > LargestGprsSerial)
                return fail(QStringLiteral("после --serial-from нужен номер от 0 до %1.").arg(LargestGprsSerial));
        }
        if (parser.isSet(report))
            line.Report = QFileInfo(parser.value(report)).absoluteFilePath();
        line.Once = parser.isSet(once);
        if (!parser.positionalArguments().isEmpty())
            return fail(QStringLiteral("лишний аргумент «%1».").arg(parser.positionalArguments().first()));
        return line;
    }
    if (parser.isSet(serialFrom) || parser.isSet(report) || parser.isSet(once))
        return fail(QStringLiteral("--serial-from, --report и --once — только вместе с --batch."));
    if (line.Ports.size() > 1)
        return fail(QStringLiteral("без --batch выбрать можно один порт."));
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

namespace {

void Print(FILE* stream, const QString& text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

QString ResultText(const TLineResult& result)
{
    const QString seconds = QString::number(result.Seconds, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
    if (result.Passed) {
        return QStringLiteral("%1: успешно — серийный номер %2 (был %3), %4 с")
            .arg(result.Port, result.SerialAfter, result.SerialBefore, seconds);
    }
    QString text = QStringLiteral("%1: ошибка — %2").arg(result.Port, result.Cause);
    if (!result.SerialBefore.isEmpty())
        text += QStringLiteral(" (серийный номер %1)").arg(result.SerialBefore);
    return text + QStringLiteral(", %1 с").arg(seconds);
}

}  // namespace

int RunBatch(const TCommandLine& line)
{
    std::unique_ptr<TStopSignals> stops;
    try {
        stops = std::make_unique<TStopSignals>();
    } catch (const std::exception& e) {
        Print(stderr, QStringLiteral("Сигналы остановки не перехвачены: ") + QString::fromLocal8Bit(e.what()));
        return 1;
    }
    // Every port's exchanges reach the daily log, as the window's do.
    TToolCore core;
    TLineOptions options;
    options.Recorder = &core.Recorder();
    TModuleFileInfo info;
    QString error;
    if (!LoadModuleFile(line.Template, options.Template, info, error)) {
        Print(stderr, error);
        return 1;
    }
    TSerialCounter counter(DefaultSerialCounterFile());
    if (line.SerialFrom >= 0) {
        if (!counter.Load(error)) {
            Print(stderr, error);
            return 1;
        }
        counter.StartAt(quint32(line.SerialFrom));
        options.Counter = &counter;
    }
    options.ReportFile = !line.Report.isEmpty()
                             ? line.Report
                             : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                                   QStringLiteral("/serial-report.csv");
    options.Once = line.Once;
    options.AdapterSerial = PortAdapterSerial;
    std::atomic<int> workersLeft{int(line.Ports.size())};
    std::atomic<int> reportLinesLost{0};
    // Called on the workers' threads, one at a time.
    options.Events = [&](const TLineEvent& event) {
        if (event.Kind == TLineEvent::Stopped && --workersLeft == 0)
            stops->Wake();
        if (event.Kind != TLineEvent::Ended)
            return;
        Print(stdout, ResultText(event.Result));
        if (!event.Result.ReportProblem.isEmpty()) {
            ++reportLinesLost;
            Print(stderr, QStringLiteral("Строка отчёта не сохранена: ") + event.Result.ReportProblem);
        }
    };
    TProductionLine productionLine(options);
    productionLine.Start(line.Ports);
    if (!line.Once)
        Print(stderr, QStringLiteral("Ожидание модулей на %1; Ctrl+C — завершить.").arg(line.Ports.join(QStringLiteral(", "))));
    // Until the workers are done (with Once) or a signal asks to stop; a wake-up from the last
    // worker's end is all that comes besides.
    while (workersLeft > 0 && stops->Wait(-1) == 0) {
    }
    if (workersLeft > 0) {
        productionLine.Stop();
        // A signal more is only counted: the stop takes no longer than one exchange a port, and
        // ending at once would leave a module half written with no line in the report.
        Print(stderr, QStringLiteral("Остановка: модули заканчивают текущий обмен."));
    }
    productionLine.Wait();
    const bool allPassed = productionLine.Failed() == 0 && productionLine.Passed() > 0;
    return allPassed && reportLinesLost == 0 ? 0 : 1;
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
