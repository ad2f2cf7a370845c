#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "app/Form_Main.h"
#include "app/PortComboBox.h"
#include "catalogue/Catalogue.h"
#include "device/Appconfig.h"
#include "device/ProductionLine.h"
#include "device/ToolCore.h"
#include "module/GprsBlock.h"
#include "module/IniFile.h"
#include "module/ModuleFile.h"
#include "module/SerialCounter.h"
#include "util/Signals.h"
#include "util/Version.h"

namespace {

// Qt's words for the parser's refusals are English wherever its translation is not found (a
// copy unpacked from the zip, say): said here, the same in every mode and locale.
QString ParserErrorText(const QCommandLineParser& parser, const QStringList& arguments)
{
    const QStringList unknown = parser.unknownOptionNames();
    auto dashed = [](const QString& name) {
        return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    };
    if (unknown.size() == 1)
        return QStringLiteral("неизвестный параметр «%1».").arg(dashed(unknown[0]));
    if (unknown.size() > 1) {
        QStringList names;
        for (const QString& name : unknown)
            names << QStringLiteral("«%1»").arg(dashed(name));
        return QStringLiteral("неизвестные параметры %1.").arg(names.join(QStringLiteral(", ")));
    }
    // Qt's texts name the option, dashes and all, in quotes: apostrophes, or «» translated. A
    // value is unexpected only after "=", given to an option that takes none.
    const QString error = parser.errorText();
    static const QRegularExpression quoted(QStringLiteral("['«]([^'»]+)['»]"));
    const QString name = quoted.match(error).captured(1);
    if (!name.startsWith(QLatin1Char('-')))
        return error;
    const QStringList given = arguments.mid(1);
    const bool withValue = std::any_of(given.begin(), given.end(), [&name](const QString& argument) {
        return argument.startsWith(name + QLatin1Char('='));
    });
    return withValue ? QStringLiteral("параметру %1 значение не нужно.").arg(name)
                     : QStringLiteral("после %1 нужно значение.").arg(name);
}

}  // namespace

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
        QStringLiteral("Давать модулям серийные номера из каталога модулей по порядку, начиная с N "
                       "(тот же N продолжает прежнюю серию)."),
        QStringLiteral("N"));
    parser.addOption(serialFrom);
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("Файл отчёта CSV: строки модулей из каталога после прежних строк "
                                                   "отчёта (по умолчанию — в папке данных программы)."),
                                    QStringLiteral("файл"));
    parser.addOption(report);
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("Настроить по одному модулю на каждом порту и выйти: код 0, "
                                                 "если все успешно и каждая строка отчёта сохранена, иначе 1."));
    parser.addOption(once);
    const QCommandLineOption catalogue(
        QStringLiteral("catalogue"),
        QStringLiteral("Каталог модулей: файл SQLite или адрес сервера PostgreSQL "
                       "(postgresql://пользователь@сервер/база). По умолчанию — [Catalogue] Database= в ZEM.cfg, "
                       "иначе файл в папке данных программы."),
        QStringLiteral("адрес"));
    parser.addOption(catalogue);
    const QCommandLineOption find(
        QStringLiteral("find"),
        QStringLiteral("Найти в каталоге модули по серийному номеру, объекту, телефону абонента или ключу и "
                       "вывести по строке на модуль. Код 0 — найдено, 1 — ничего, 2 — ошибка каталога."),
        QStringLiteral("текст"));
    parser.addOption(find);
    const QCommandLineOption history(
        QStringLiteral("history"),
        QStringLiteral("Вывести историю модуля из каталога: по строке на версию. Код 0 — найдено, "
                       "1 — ничего, 2 — ошибка каталога."),
        QStringLiteral("серийный-номер"));
    parser.addOption(history);
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
        return fail(ParserErrorText(parser, arguments));
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
    if (parser.isSet(catalogue)) {
        const QString url = parser.value(catalogue).trimmed();
        if (url.isEmpty())
            return fail(QStringLiteral("после --catalogue нужен файл каталога или адрес сервера."));
        line.Catalogue = TCatalogue::IsServerUrl(url) ? url : QFileInfo(url).absoluteFilePath();
    }
    const int actions = int(parser.isSet(batch)) + int(parser.isSet(find)) + int(parser.isSet(history));
    if (actions > 1)
        return fail(QStringLiteral("--batch, --find и --history — по одному."));
    const bool lineOptions = parser.isSet(serialFrom) || parser.isSet(report) || parser.isSet(once);
    if (parser.isSet(find) || parser.isSet(history)) {
        if (lineOptions || !line.Ports.isEmpty())
            return fail(QStringLiteral("--port, --serial-from, --report и --once — только вместе с --batch."));
        if (!parser.positionalArguments().isEmpty())
            return fail(QStringLiteral("лишний аргумент «%1».").arg(parser.positionalArguments().first()));
    }
    if (parser.isSet(find)) {
        line.Action = TCommandLine::Find;
        line.Query = parser.value(find).trimmed();
        if (line.Query.isEmpty())
            return fail(QStringLiteral("после --find нужен текст для поиска."));
        return line;
    }
    if (parser.isSet(history)) {
        line.Action = TCommandLine::History;
        const QString serial = parser.value(history).trimmed();
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,8}$"));
        if (!digits.match(serial).hasMatch())
            return fail(QStringLiteral("после --history нужен серийный номер модуля: до 8 цифр."));
        line.Query = GprsSerialText(serial.toUInt());
        return line;
    }
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
            const qint64 first = parser.value(serialFrom).toLongLong(&ok);
            if (!ok || first < 1 || first > LargestGprsSerial)
                return fail(QStringLiteral("после --serial-from нужен номер от 1 до %1.").arg(LargestGprsSerial));
            line.SerialFrom = quint32(first);
        }
        if (parser.isSet(report))
            line.Report = QFileInfo(parser.value(report)).absoluteFilePath();
        line.Once = parser.isSet(once);
        if (!parser.positionalArguments().isEmpty())
            return fail(QStringLiteral("лишний аргумент «%1».").arg(parser.positionalArguments().first()));
        return line;
    }
    if (lineOptions)
        return fail(QStringLiteral("--serial-from, --report и --once — только вместе с --batch."));
    if (line.Ports.size() > 1)
        return fail(QStringLiteral("без --batch выбрать можно один порт."));
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return fail(QStringLiteral("лишний аргумент «%1»: открыть можно один файл.").arg(files[1]));
    // One that cannot be opened still opens the window, which says why: started from a file
    // manager, the tool has no console to print to.
    if (!files.isEmpty())
        line.File = QFileInfo(files[0]).absoluteFilePath();
    return line;
}

QStringList WithoutQtOptions(const QStringList& arguments)
{
    // QGuiApplication's and QApplication's own options; those with a value take the next argument
    // unless written as -option=value.
    static const QStringList withValue{
        QStringLiteral("-platform"),  QStringLiteral("-platformpluginpath"), QStringLiteral("-platformtheme"),
        QStringLiteral("-plugin"),    QStringLiteral("-qwindowgeometry"),    QStringLiteral("-qwindowicon"),
        QStringLiteral("-qwindowtitle"), QStringLiteral("-session"),         QStringLiteral("-display"),
        QStringLiteral("-geometry"),  QStringLiteral("-style"),              QStringLiteral("-stylesheet"),
        QStringLiteral("-title"),     QStringLiteral("-name")};
    static const QStringList alone{QStringLiteral("-reverse"), QStringLiteral("-widgetcount"),
                                   QStringLiteral("-nograb"), QStringLiteral("-dograb"), QStringLiteral("-sync"),
                                   QStringLiteral("-testability")};
    QStringList kept;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (i > 0 && argument == QStringLiteral("--"))
            return kept + arguments.mid(i);
        // Qt takes its options with one dash or two.
        const QString option = argument.startsWith(QStringLiteral("--")) ? argument.mid(1) : argument;
        if (i > 0 && withValue.contains(option)) {
            ++i;
            continue;
        }
        if (i > 0 && (alone.contains(option) || option.startsWith(QStringLiteral("-qmljsdebugger=")) ||
                      withValue.contains(option.section(QLatin1Char('='), 0, 0))))
            continue;
        kept << argument;
    }
    return kept;
}

namespace {

// A window program has no console of its own: what it prints goes to the one it was started
// from, whose code page is set to UTF-8, which holds every letter, where the ANSI one would not.
void UseParentConsole()
{
#ifdef Q_OS_WIN
    static const bool attached = [] {
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            (void)!std::freopen("CONOUT$", "w", stdout);
            (void)!std::freopen("CONOUT$", "w", stderr);
        }
        SetConsoleOutputCP(CP_UTF8);
        return true;
    }();
    (void)attached;
#endif
}

QByteArray ConsoleText(const QString& text)
{
#ifdef Q_OS_WIN
    return text.toUtf8();
#else
    return text.toLocal8Bit();
#endif
}

void Print(FILE* stream, const QString& text)
{
    std::fputs(ConsoleText(text + QLatin1Char('\n')).constData(), stream);
    std::fflush(stream);
}

}  // namespace

int ReportCommandLine(const TCommandLine& line)
{
    const bool failed = line.Action == TCommandLine::Fail;
    UseParentConsole();
    QByteArray text = ConsoleText(line.Text);
    if (!text.endsWith('\n'))
        text += '\n';
    std::fputs(text.constData(), failed ? stderr : stdout);
    return failed ? 1 : 0;
}

namespace {

QString ResultText(const TLineResult& result)
{
    const QString seconds = QString::number(result.Seconds, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
    if (result.Passed) {
        return QStringLiteral("%1: успешно — серийный номер %2 (был %3), %4 с")
            .arg(result.Port, ShownGprsSerial(result.SerialAfter), ShownGprsSerial(result.SerialBefore), seconds);
    }
    QString text = QStringLiteral("%1: ошибка — %2").arg(result.Port, result.Cause);
    if (!result.SerialBefore.isEmpty())
        text += QStringLiteral(" (серийный номер %1)").arg(ShownGprsSerial(result.SerialBefore));
    return text + QStringLiteral(", %1 с").arg(seconds);
}

constexpr int kFindLimit = 1000;
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm");
const QString kSeparator = QStringLiteral("  ");

// "1 версия", "3 версии", "11 версий".
QString VersionsText(int count)
{
    const int tens = count % 100, ones = count % 10;
    const char* word = (tens >= 11 && tens <= 14) || ones == 0 || ones >= 5 ? "версий"
                       : ones == 1                                      ? "версия"
                                                                        : "версии";
    return QStringLiteral("%1 %2").arg(count).arg(QString::fromUtf8(word));
}

QString OrDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("—") : text;
}

// The catalogue opened for reading: the local copy when the server is out of reach, said once.
bool OpenForReading(TCatalogue& catalogue, const TCommandLine& line)
{
    InitAppDir();
    QString error;
    if (!catalogue.OpenPreferred(TToolCore::CatalogueLocation(TIniFile(ConfigFileName()), line.Catalogue), error)) {
        Print(stderr, QStringLiteral("Каталог модулей не открывается: ") + error);
        return false;
    }
    if (catalogue.Offline())
        Print(stderr, catalogue.Description());
    return true;
}

QString FoundModuleText(const TCatalogueModule& module)
{
    QStringList cells{ModuleSerialText(module.Serial)};
    if (!module.Site.isEmpty())
        cells << module.Site;
    QString versions = VersionsText(module.Versions);
    if (module.LastTime.isValid())
        versions += QStringLiteral(", последняя ") + module.LastTime.toString(kTimeFormat);
    if (!module.LastPort.isEmpty())
        versions += QLatin1Char(' ') + module.LastPort;
    cells << versions;
    return cells.join(kSeparator);
}

QString VersionText(const TCatalogueVersion& version)
{
    const TVersionInfo& info = version.Info;
    const QString result = info.Passed ? QStringLiteral("успешно")
                           : info.Result.isEmpty() ? QStringLiteral("ошибка")
                                                   : QStringLiteral("ошибка: ") + info.Result;
    return QStringList{info.Time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), VersionKindText(info.Kind),
                       OrDash(info.Station), OrDash(info.User), OrDash(info.Port), result}
        .join(kSeparator);
}

}  // namespace

int RunFind(const TCommandLine& line)
{
    UseParentConsole();
    TCatalogue catalogue;
    if (!OpenForReading(catalogue, line))
        return 2;
    QString error;
    const QList<TCatalogueModule> modules = catalogue.Find(line.Query, kFindLimit + 1, error);
    if (!error.isEmpty()) {
        Print(stderr, QStringLiteral("Поиск в каталоге модулей не удался: ") + error);
        return 2;
    }
    for (int i = 0; i < std::min(int(modules.size()), kFindLimit); ++i)
        Print(stdout, FoundModuleText(modules[i]));
    if (modules.size() > kFindLimit)
        Print(stderr, QStringLiteral("Показаны первые %1 модулей; уточните поиск.").arg(kFindLimit));
    if (modules.isEmpty())
        Print(stderr, QStringLiteral("В каталоге модулей ничего не найдено по «%1».").arg(line.Query));
    return modules.isEmpty() ? 1 : 0;
}

int RunHistory(const TCommandLine& line)
{
    UseParentConsole();
    TCatalogue catalogue;
    if (!OpenForReading(catalogue, line))
        return 2;
    QString error;
    const std::optional<TCatalogueModule> module = catalogue.ModuleBySerial(line.Query, error);
    QList<TCatalogueVersion> versions;
    if (module)
        versions = catalogue.History(module->Id, error);
    if (!error.isEmpty()) {
        Print(stderr, QStringLiteral("История модуля из каталога не прочитана: ") + error);
        return 2;
    }
    for (const TCatalogueVersion& version : versions)
        Print(stdout, VersionText(version));
    if (versions.isEmpty())
        Print(stderr, QStringLiteral("Модуля с серийным номером %1 в каталоге нет.").arg(line.Query));
    return versions.isEmpty() ? 1 : 0;
}

int RunBatch(const TCommandLine& line)
{
    UseParentConsole();
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
    options.Catalogue = core.CatalogueLocation(line.Catalogue);
    options.SerialFrom = line.SerialFrom;
    options.OldCounterFile = DefaultSerialCounterFile();
    options.ReportFile = !line.Report.isEmpty()
                             ? line.Report
                             : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                                   QStringLiteral("/serial-report.csv");
    options.Once = line.Once;
    options.AdapterSerial = PortAdapterSerial;
    std::atomic<int> workersLeft{int(line.Ports.size())};
    std::atomic<int> reportLinesLost{0};
    std::atomic<bool> portStopped{false};
    // Called on the workers' threads, one at a time.
    options.Events = [&](const TLineEvent& event) {
        if (event.Kind == TLineEvent::Stopped) {
            // A port the catalogue refused a module on ends on its own, saying why.
            if (!event.Text.isEmpty()) {
                portStopped = true;
                Print(stderr, QStringLiteral("%1: порт остановлен — %2").arg(event.Port, event.Text));
            }
            if (--workersLeft == 0)
                stops->Wake();
        }
        if (event.Kind != TLineEvent::Ended)
            return;
        Print(stdout, ResultText(event.Result));
        if (!event.Result.ReportProblem.isEmpty()) {
            ++reportLinesLost;
            Print(stderr, QStringLiteral("Строка отчёта не сохранена: ") + event.Result.ReportProblem);
        }
    };
    TProductionLine productionLine(options);
    if (!productionLine.Start(line.Ports, error)) {
        Print(stderr, error);
        return 1;
    }
    if (!line.Once)
        Print(stderr, QStringLiteral("Ожидание модулей на %1; Ctrl+C — завершить.").arg(line.Ports.join(QStringLiteral(", "))));
    // Until the workers are done (with Once, or every port stopped on its own) or a signal asks
    // to stop; a wake-up from the last worker's end is all that comes besides.
    while (workersLeft > 0 && stops->Wait(-1) == 0) {
    }
    if (workersLeft > 0) {
        productionLine.Stop();
        // A signal more is only counted: the stop takes no longer than one exchange a port, and
        // ending at once would leave a module half written with no line in the report.
        Print(stderr, QStringLiteral("Остановка: модули заканчивают текущий обмен."));
    }
    productionLine.Wait();
    const bool allPassed = productionLine.Failed() == 0 && productionLine.Passed() > 0 && !portStopped;
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
