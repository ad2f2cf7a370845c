#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "LinkTestKit.h"
#include "TempFiles.h"
#include "TemplateCopy.h"
#include "catalogue/Catalogue.h"
#include "device/ModuleAreas.h"
#include "device/ProductionLine.h"
#include "link/ExchangeRecorder.h"
#include "module/Backups.h"
#include "module/GprsBlock.h"
#include "module/ModuleFile.h"
#include "sim/ModuleSim.h"
#include "util/LogFile.h"

// Failures show the texts as they read.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// What a module does wrong, decided on each request it has just handled.
using TModuleFault = std::function<void(TModuleSim& sim, const TBytes& request)>;

int WriteAddress(const TBytes& request)
{
    const TBytes data = FrameData(request);
    return request[1] == TModuleSim::kFnWrite && data.size() >= 2 ? data[0] << 8 | data[1] : -1;
}

// A simulated module on a pty, with its own serial number and settings.
struct TModule {
    explicit TModule(int serial, TModuleFault fault = nullptr, bool lineTiming = false)
        : Pty(Sim, lineTiming, [this, fault](const TBytes& request, const TSimReply&) {
              if (fault)
                  fault(Sim, request);
          })
    {
        TGprsBytes gprs;
        gprs.fill(0xFF);
        PutGprsSerial(GprsSerialText(quint32(serial)), gprs.data());
        Sim.WriteMemory(GprsBlockAddress, TBytes(gprs.begin(), gprs.end()));
        Sim.WriteMemory(KeyTableAddress, TBytes(KeyTableSize, uint8_t(serial)));
    }
    QString Port() const { return QString::fromStdString(Pty.SlavePath()); }
    TBytes Area(int address, int size) const { return Sim.ReadMemory(address, size); }

    TModuleSim Sim;
    TSimPty Pty;
};

TModuleCopy Template()
{
    TModuleCopy copy = TemplateCopy(3, 1000);
    (*copy.Settings)[10] = 0x5A;
    TGprsTexts texts{QStringLiteral("00000000"), QStringLiteral("internet"), QStringLiteral("10.0.0.1"),
                     QStringLiteral("8080"),     QStringLiteral("user"),     QStringLiteral("secret"),
                     QStringLiteral("example.com/zem")};
    TGprsBytes gprs;
    TGprsField field;
    QString error;
    EXPECT_TRUE(EncodeGprsBlock(texts, gprs.data(), field, error)) << error.toStdString();
    copy.Gprs = gprs;
    return copy;
}

// Runs the line over the modules, each port once, and gathers the results by port.
struct TRun {
    std::map<QString, TLineResult> Results;
    std::map<QString, QString> StopCauses;  // the ports that stopped with a cause
    qint64 Run = 0;
};

struct TLineSetup {
    TLineSetup(TModuleCopy copy, QString catalogue = QString(), quint32 serialFrom = 0, QString report = QString())
        : Copy(std::move(copy)), Catalogue(std::move(catalogue)), SerialFrom(serialFrom), Report(std::move(report))
    {
    }
    TModuleCopy Copy;
    QString Catalogue;
    quint32 SerialFrom = 0;
    QString Report;
    TExchangeRecorder* Recorder = nullptr;
};

TRun RunOnce(const std::vector<TModule*>& modules, QStringList ports, const TLineSetup& setup)
{
    TRun run;
    TLineOptions options;
    options.Recorder = setup.Recorder;
    options.Template = setup.Copy;
    options.Catalogue = setup.Catalogue;
    options.SerialFrom = setup.SerialFrom;
    options.ReportFile = setup.Report;
    options.Once = true;
    options.AnswerPatienceMs = 1500;
    options.Events = [&run](const TLineEvent& event) {
        if (event.Kind == TLineEvent::Ended)
            run.Results[event.Port] = event.Result;
        if (event.Kind == TLineEvent::Stopped && !event.Text.isEmpty())
            run.StopCauses[event.Port] = event.Text;
    };
    TProductionLine line(options);
    for (TModule* module : modules)
        ports << module->Port();
    QString error;
    EXPECT_TRUE(line.Start(ports, error)) << error.toStdString();
    line.Wait();
    run.Run = line.Run();
    return run;
}

// The catalogue as a test reads it, on the test's thread.
struct TOpenCatalogue {
    explicit TOpenCatalogue(const QString& url)
    {
        QString error;
        EXPECT_TRUE(Catalogue.Open(url, error)) << error.toStdString();
    }
    std::set<quint32> Reserved()
    {
        QString error;
        std::set<quint32> numbers;
        for (const TSerialReservation& reservation : Catalogue.Reservations(error))
            numbers.insert(reservation.Number);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return numbers;
    }
    QList<TCatalogueVersion> History(const QString& serial)
    {
        QString error;
        const std::optional<TCatalogueModule> module = Catalogue.ModuleBySerial(serial, error);
        return module ? Catalogue.History(module->Id, error) : QList<TCatalogueVersion>();
    }
    TCatalogue Catalogue;
};

class ProductionLineTest : public ::testing::Test {
protected:
    void SetUp() override { SetBackupsFolder(QString::fromStdString(Dir / "backups")); }
    void TearDown() override { SetBackupsFolder(QString()); }
    QString File(const char* name) const { return QString::fromStdString(Dir / name); }
    QStringList Backups() const { return QDir(BackupsFolder()).entryList(QDir::Files, QDir::Name); }
    QString CatalogueFile() const { return File("catalogue.sqlite"); }

    TTempDir Dir;
};

// What support is sent must show why module 17 failed: every port's exchanges, named by port.
TEST_F(ProductionLineTest, EveryPortsExchangesReachTheRecorderAndTheDailyLogNamedByPort)
{
    TModule first(22220001);
    TModule second(22220002);
    TDailyLog log(Dir / "logs", "zem-", 14);
    TExchangeRecorder recorder;
    recorder.SetSecrets({{GprsBlockAddress + GprsPasswordOffset, GprsPasswordSize}});
    recorder.SetLog(&log);
    TLineSetup setup{Template()};
    setup.Recorder = &recorder;
    const TRun run = RunOnce({&first, &second}, {}, setup);
    ASSERT_EQ(run.Results.size(), 2u);
    const std::vector<TOperationRecord> operations = recorder.Last(TExchangeRecorder::kOperationsKept);
    const QStringList logFiles = QDir(File("logs")).entryList({QStringLiteral("zem-*.log")}, QDir::Files);
    ASSERT_EQ(logFiles.size(), 1);
    QFile file(QDir(File("logs")).filePath(logFiles[0]));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string logText = file.readAll().toStdString();
    for (TModule* module : {&first, &second}) {
        const std::string port = module->Port().toStdString();
        SCOPED_TRACE(port);
        const auto setUp = std::find_if(operations.begin(), operations.end(), [&](const TOperationRecord& o) {
            return o.Port == port && o.Title == "Серийная настройка";
        });
        ASSERT_NE(setUp, operations.end());
        EXPECT_TRUE(setUp->Finished && setUp->Succeeded) << setUp->Result;
        // Read whole, written, read back: every request the module saw is in the record.
        const auto sent = std::count_if(setUp->Frames.begin(), setUp->Frames.end(),
                                        [](const TFrameRecord& f) { return f.ToModule; });
        EXPECT_GT(sent, 20);
        EXPECT_TRUE(std::any_of(operations.begin(), operations.end(), [&](const TOperationRecord& o) {
            return o.Port == port && o.Title == "Ожидание модуля" && o.Succeeded;
        }));
        EXPECT_NE(logText.find("Серийная настройка (" + port + ")"), std::string::npos);
        EXPECT_NE(logText.find("Ожидание модуля (" + port + ")"), std::string::npos);
    }
    // The template's password never reaches the record or the log, as text or as bytes.
    for (const std::string& secret : {std::string("secret"), std::string("73 65 63 72 65 74")}) {
        for (const TOperationRecord& operation : operations)
            EXPECT_EQ(OperationText(operation).find(secret), std::string::npos);
        EXPECT_EQ(logText.find(secret), std::string::npos);
    }
}

TEST_F(ProductionLineTest, EveryPortGetsTheTemplateAndItsOwnNumberWhileFaultyModulesFailWithTheirCause)
{
    enum TNumber { None, Used, Reserved, GivenBack };
    struct TCase {
        const char* Name;
        TModuleFault Fault;
        const char* Cause;  // empty: passes
        TNumber Number;     // what became of the number it was given
    };
    const TModuleFault silent = [](TModuleSim&, const TBytes&) {};
    const TCase cases[] = {
        {"good", nullptr, "", Used},
        {"silent", silent, "модуль не отвечает", None},
        // Unknown what the module holds: its number may be in it, and stays reserved.
        {"mid-write", [](TModuleSim& sim, const TBytes& request) {
             if (WriteAddress(request) == KeyTableAddress + 64)
                 sim.InjectFault({TSimFault::Silence, -1});
         }, "запись прервана на шаге «запись: ключи: блок 4 из 8»", Reserved},
        // It answers again and shows its old number: the number goes to the next module.
        {"mid-write, then answers", [](TModuleSim& sim, const TBytes& request) {
             if (WriteAddress(request) == KeyTableAddress + 64)
                 sim.InjectFault({TSimFault::Silence, 3});
         }, "запись прервана на шаге «запись: ключи: блок 4 из 8»", GivenBack},
        // Its number is in it, a byte beside it is wrong.
        {"read-back", [](TModuleSim& sim, const TBytes& request) {
             if (WriteAddress(request) == GprsBlockAddress + 96)
                 sim.WriteMemory(GprsBlockAddress + 100, {'?'});
         }, "не совпадает с записанным: GPRS, адрес 836", Reserved},
        {"good too", nullptr, "", Used},
    };
    std::vector<std::unique_ptr<TModule>> modules;
    std::vector<TModule*> ports;
    for (size_t i = 0; i < std::size(cases); ++i) {
        modules.push_back(std::make_unique<TModule>(int(11110000 + i), cases[i].Fault));
        ports.push_back(modules.back().get());
    }
    modules[1]->Sim.InjectFault({TSimFault::Silence, -1});
    const TModuleCopy copy = Template();
    // And a port with nothing behind it.
    const QString absent = File("ttyUSB9");
    const TRun run = RunOnce(ports, {absent}, {copy, CatalogueFile(), 500, File("report.csv")});
    ASSERT_EQ(run.Results.count(absent), 1u);
    EXPECT_TRUE(run.Results.at(absent).Cause.startsWith(QStringLiteral("порт не открывается: устройство не найдено")));
    EXPECT_TRUE(run.StopCauses.empty());

    TOpenCatalogue catalogue(CatalogueFile());
    const std::set<quint32> reserved = catalogue.Reserved();
    std::set<quint32> numbers;
    QString error;
    const QList<TCatalogueVersion> rows = catalogue.Catalogue.RunVersions(run.Run, error);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].Name);
        const TModule& module = *modules[i];
        ASSERT_EQ(run.Results.count(module.Port()), 1u);
        const TLineResult& result = run.Results.at(module.Port());
        EXPECT_EQ(result.Passed, std::strlen(cases[i].Cause) == 0);
        EXPECT_TRUE(result.Cause.contains(QString::fromUtf8(cases[i].Cause))) << result.Cause.toStdString();
        const QString before = GprsSerialText(quint32(11110000 + i));
        // The number the module was written with, whatever became of the module.
        const TBytes written = module.Area(GprsBlockAddress, 4);
        const quint32 number = QByteArray(reinterpret_cast<const char*>(written.data()), 4).toHex().toUInt();
        if (cases[i].Number == None) {
            EXPECT_TRUE(result.SerialBefore.isEmpty());
            continue;
        }
        EXPECT_EQ(result.SerialBefore, before);
        // What it had before is the old number's module's backup, keys and all.
        const QList<TCatalogueVersion> old = catalogue.History(before);
        ASSERT_FALSE(old.isEmpty());
        EXPECT_EQ(old.last().Info.Kind, TVersionKind::Backup);
        TKeyTable keys;
        keys.fill(uint8_t(11110000 + i));
        ASSERT_TRUE(old.last().Copy.Keys);
        EXPECT_EQ(*old.last().Copy.Keys, keys);
        // Every module read has its row in the run, with its result.
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const TCatalogueVersion& v) {
            return v.Info.Kind == TVersionKind::Line && v.Info.Port == module.Port();
        });
        ASSERT_NE(row, rows.end());
        EXPECT_EQ(row->Info.Passed, result.Passed);
        EXPECT_EQ(row->Info.Result, result.Cause);
        EXPECT_EQ(row->Info.SerialBefore, quint32(11110000 + i));
        switch (cases[i].Number) {
        case Used: {
            EXPECT_EQ(GprsSerialText(number), result.SerialAfter);
            numbers.insert(number);
            TGprsBytes gprs = *copy.Gprs;
            PutGprsSerial(result.SerialAfter, gprs.data());
            EXPECT_EQ(module.Area(GprsBlockAddress, GprsBlockSize), TBytes(gprs.begin(), gprs.end()));
            EXPECT_EQ(module.Area(KeyTableAddress, KeyTableSize), TBytes(copy.Keys->begin(), copy.Keys->end()));
            EXPECT_EQ(module.Area(10, 1), TBytes{0x5A});
            EXPECT_EQ(reserved.count(number), 0u);
            // The module is found by its new number, holding what it was given.
            const QList<TCatalogueVersion> history = catalogue.History(result.SerialAfter);
            ASSERT_EQ(history.size(), 1);
            EXPECT_EQ(*history[0].Copy.Gprs, gprs);
            break;
        }
        case Reserved:
            // Written in: the module's now, or still reserved; not written: reserved.
            if (result.SerialAfter.isEmpty())
                EXPECT_EQ(module.Area(GprsBlockAddress, 4), (TBytes{0x11, 0x11, 0x00, uint8_t(i)}));
            else
                numbers.insert(number);
            break;
        case GivenBack:
            EXPECT_EQ(result.SerialAfter, before);  // read after the failed write
            break;
        case None:
            break;
        }
    }
    // Two numbers used, one in a module that failed, one out with a module in an unknown state;
    // the fifth was given back, and is the next one out.
    numbers.insert(reserved.begin(), reserved.end());
    EXPECT_EQ(numbers.size(), 4u);
    const std::optional<quint32> next = catalogue.Catalogue.Reserve(500, QStringLiteral("test"), error);
    ASSERT_TRUE(next) << error.toStdString();
    EXPECT_EQ(numbers.count(*next), 0u);
    numbers.insert(*next);
    EXPECT_EQ(numbers, (std::set<quint32>{500, 501, 502, 503, 504}));

    // No backup files beside the catalogue.
    EXPECT_TRUE(Backups().isEmpty());
    // The export: its header, then one row per module with port, numbers, result and cause.
    const QStringList lines = QString::fromStdString(ReadFile(Dir / "report.csv")).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 + int(std::size(cases)));
    EXPECT_EQ(lines[0], TProductionLine::ReportHeader());
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TLineResult& result = run.Results.at(modules[i]->Port());
        EXPECT_EQ(lines.filter(modules[i]->Port() + ';').size(), 1) << cases[i].Name;
        EXPECT_TRUE(lines.contains(TProductionLine::ReportLine(result))) << cases[i].Name;
    }
}

// Without a catalogue the module's copy before the write is a file named by its serial number.
TEST_F(ProductionLineTest, WithoutACatalogueTheBackupIsAFileAndNumberingIsRefused)
{
    TModule module(22220001);
    const TRun run = RunOnce({&module}, {}, {Template()});
    ASSERT_EQ(run.Results.size(), 1u);
    EXPECT_TRUE(run.Results.begin()->second.Passed) << run.Results.begin()->second.Cause.toStdString();
    const QStringList backups = Backups();
    ASSERT_EQ(backups.size(), 1);
    EXPECT_TRUE(backups[0].startsWith(QStringLiteral("SN22220001_")));

    TLineOptions options;
    options.Template = Template();
    options.SerialFrom = 1;
    TProductionLine line(options);
    QString error;
    EXPECT_FALSE(line.Start({module.Port()}, error));
    EXPECT_EQ(error, QStringLiteral("Серийные номера выдаёт каталог модулей, а он не выбран."));
}

TEST_F(ProductionLineTest, ASeriesTakenUpAgainContinuesAndAnotherBeginsAnew)
{
    const struct {
        quint32 Series;
        std::vector<QString> Given;  // one module each, in order
    } steps[] = {
        {100, {"00000100", "00000101"}},
        {7, {"00000007"}},
        {100, {"00000102"}},
        {99999999, {"99999999", ""}},  // the series' eight digits run out
    };
    for (const auto& step : steps) {
        for (const QString& expected : step.Given) {
            SCOPED_TRACE(expected.toStdString());
            TModule module(11110000);
            const TRun run = RunOnce({&module}, {}, {Template(), CatalogueFile(), step.Series});
            ASSERT_EQ(run.Results.size(), 1u);
            const TLineResult& result = run.Results.begin()->second;
            if (expected.isEmpty()) {
                EXPECT_FALSE(result.Passed);
                EXPECT_EQ(result.Cause, QStringLiteral("серийные номера серии 99999999 кончились"));
                EXPECT_EQ(run.StopCauses.begin()->second, result.Cause);
                EXPECT_EQ(module.Area(GprsBlockAddress, 4), (TBytes{0x11, 0x11, 0x00, 0x00}));
            } else {
                EXPECT_TRUE(result.Passed) << result.Cause.toStdString();
                EXPECT_EQ(result.SerialAfter, expected);
            }
        }
    }
}

// The counter file of the versions before the catalogue: its series goes on from where it stood;
// one that cannot be read leaves nothing numbered, since its numbers may be in modules already.
TEST_F(ProductionLineTest, TheOldCounterIsTakenUpAndADamagedOneKeepsTheLineFromNumbering)
{
    const struct {
        const char* Content;
        const char* Given;  // null: refused
    } cases[] = {
        {"first 00000100\nnext 00000104\nfree 00000102\n", "00000102"},
        {"first 00000001\n", nullptr},
        {"first 1\nnext x\nfree\n", nullptr},
        {"first 5\nnext 3\nfree\n", nullptr},
        {"first 1\nnext 4\nfree 00000009\n", nullptr},
        {"hello\n", nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Content);
        const std::string counter = Dir / "serial-counter.txt";
        WriteFile(counter, c.Content);
        TModule module(11110000);
        TLineOptions options;
        options.Template = Template();
        options.Catalogue = File("catalogue") + QString::number(++n);
        options.SerialFrom = 100;
        options.OldCounterFile = QString::fromStdString(counter);
        options.Once = true;
        TLineResult result;
        options.Events = [&](const TLineEvent& event) {
            if (event.Kind == TLineEvent::Ended)
                result = event.Result;
        };
        TProductionLine line(options);
        QString error;
        const bool started = line.Start({module.Port()}, error);
        line.Wait();
        EXPECT_EQ(started, c.Given != nullptr);
        if (c.Given) {
            EXPECT_EQ(result.SerialAfter, QString::fromLatin1(c.Given));
        } else {
            EXPECT_EQ(error, QStringLiteral("Прежний счётчик серийных номеров не перенесён в каталог модулей: "
                                            "Файл счётчика серийных номеров «%1» повреждён.")
                                 .arg(QString::fromStdString(counter)));
            EXPECT_TRUE(module.Sim.ReceivedFrames().empty());
        }
        EXPECT_EQ(ReadFile(counter), c.Content);
    }
}

TEST_F(ProductionLineTest, TheReportKeepsItsEarlierRowsAndAForeignFileIsRefusedBeforeTheStart)
{
    const std::string header = TProductionLine::ReportHeader().toStdString() + "\n";
    const std::string earlier = header + "2026-01-01T10:00:00;/dev/ttyUSB0;;00000001;00000002;успешно;;3,0\n";
    const struct {
        const char* Name;
        const char* Content;  // null: no file
        bool Refused;
    } cases[] = {
        {"no file", nullptr, false},
        {"an empty file", "", false},
        {"an earlier report", earlier.c_str(), false},
        {"an earlier report, CRLF and no line end", "Время;Порт;Серийный номер адаптера USB;Серийный номер до;"
                                                    "Серийный номер после;Результат;Причина;Секунды\r\nx", false},
        {"a spreadsheet of the user's", "Имя;Телефон\nИван;+79001234567\n", true},
        {"the header not first", "\n" "Время;Порт\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = Dir / "report.csv";
        std::remove(file.c_str());
        if (c.Content)
            WriteFile(file, c.Content);
        TModule module(11110000);
        const TRun run = c.Refused ? TRun{} : RunOnce({&module}, {}, {Template(), CatalogueFile(), 0, File("report.csv")});
        if (c.Refused) {
            TLineOptions options;
            options.Template = Template();
            options.Catalogue = CatalogueFile();
            options.ReportFile = File("report.csv");
            TProductionLine line(options);
            QString error;
            EXPECT_FALSE(line.Start({module.Port()}, error));
            EXPECT_EQ(error, QStringLiteral("Файл «%1» — не отчёт серийной настройки (его первая строка — не заголовок "
                                            "отчёта), и он не будет перезаписан. Выберите другой файл отчёта.")
                                 .arg(File("report.csv")));
            EXPECT_EQ(ReadFile(file), c.Content);
            EXPECT_TRUE(module.Sim.ReceivedFrames().empty());
            continue;
        }
        ASSERT_EQ(run.Results.size(), 1u);
        const std::string row = TProductionLine::ReportLine(run.Results.begin()->second).toStdString() + "\n";
        std::string expected = c.Content && *c.Content ? std::string(c.Content) : header;
        if (expected.back() != '\n')
            expected += '\n';
        EXPECT_EQ(ReadFile(file), expected + row);
    }
}

// The catalogue taken by another process when the module's row is due: the module fails with the
// catalogue's words, the port stops there, and the number the module holds stays reserved.
TEST_F(ProductionLineTest, AFailedCommitStopsThePortWithItsCauseBeforeTheNextModule)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool writing = false, locked = false;
    TModule module(11110000, [&](TModuleSim&, const TBytes& request) {
        if (WriteAddress(request) < 0)
            return;
        std::unique_lock<std::mutex> lock(mutex);
        writing = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return locked; });
    });
    std::vector<TLineEvent> events;
    TLineOptions options;
    options.Template = Template();
    options.Catalogue = CatalogueFile();
    options.SerialFrom = 40;
    options.Events = [&](const TLineEvent& event) {
        std::lock_guard<std::mutex> lock(mutex);
        if (event.Kind == TLineEvent::Ended || event.Kind == TLineEvent::Stopped)
            events.push_back(event);
        changed.notify_all();
    };
    TProductionLine line(options);
    QString error;
    ASSERT_TRUE(line.Start({module.Port()}, error)) << error.toStdString();
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return writing; }));
    }
    // Another process's transaction holds the file until the line has given up on it.
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(CatalogueFile());
        ASSERT_TRUE(other.open());
        QSqlQuery query(other);
        ASSERT_TRUE(query.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        {
            std::unique_lock<std::mutex> lock(mutex);
            locked = true;
            changed.notify_all();
            ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(60), [&] { return events.size() == 2; }));
        }
        ASSERT_TRUE(query.exec(QStringLiteral("ROLLBACK")));
        query = QSqlQuery();
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    line.Wait();  // the module is still there: only the stop ended the worker

    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].Kind, TLineEvent::Ended);
    EXPECT_FALSE(events[0].Result.Passed);
    EXPECT_TRUE(events[0].Result.Cause.startsWith(QStringLiteral("не записано в каталог модулей: ")))
        << events[0].Result.Cause.toStdString();
    EXPECT_EQ(events[1].Kind, TLineEvent::Stopped);
    EXPECT_EQ(events[1].Text, events[0].Result.Cause);
    EXPECT_EQ(line.Failed(), 1);
    EXPECT_EQ(module.Area(GprsBlockAddress, 4), (TBytes{0x00, 0x00, 0x00, 0x40}));
    TOpenCatalogue catalogue(CatalogueFile());
    EXPECT_EQ(catalogue.Reserved(), std::set<quint32>{40});
    EXPECT_TRUE(catalogue.History(QStringLiteral("00000040")).isEmpty());
}

TEST_F(ProductionLineTest, WaitsForTheModuleToGoAndTheNextToAnswer)
{
    TModule module(11110000);
    std::mutex mutex;
    std::vector<TLineResult> results;
    int waits = 0;
    TLineOptions options;
    options.Template = Template();
    options.Catalogue = CatalogueFile();
    options.SerialFrom = 1;
    options.Events = [&](const TLineEvent& event) {
        std::lock_guard<std::mutex> lock(mutex);
        if (event.Kind == TLineEvent::Ended)
            results.push_back(event.Result);
        waits += event.Kind == TLineEvent::Waiting;
    };
    auto count = [&](const std::function<int()>& what) {
        std::lock_guard<std::mutex> lock(mutex);
        return what();
    };
    TProductionLine line(options);
    QString error;
    ASSERT_TRUE(line.Start({module.Port()}, error)) << error.toStdString();
    ASSERT_TRUE(WaitFor([&] { return count([&] { return int(results.size()); }) == 1; }));

    // Unplugged: the port waits for a module again; another module answers and is set up.
    module.Sim.InjectFault({TSimFault::Silence, -1});
    ASSERT_TRUE(WaitFor([&] { return count([&] { return waits; }) == 2; }));
    module.Sim.WriteMemory(GprsBlockAddress, {0x22, 0x22, 0x00, 0x00});
    module.Sim.ClearFaults();
    ASSERT_TRUE(WaitFor([&] { return count([&] { return int(results.size()); }) == 2; }));
    line.Stop();
    line.Wait();

    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].Passed && results[1].Passed);
    EXPECT_EQ(results[0].SerialAfter, QStringLiteral("00000001"));
    EXPECT_EQ(results[1].SerialBefore, QStringLiteral("22220000"));
    EXPECT_EQ(results[1].SerialAfter, QStringLiteral("00000002"));
    EXPECT_EQ(line.Passed(), 2);
}

// Stopped, a port ends its module after the exchange under way, the cause saying where and how
// much of the module was written; a port still waiting for its one module ends with a line too.
TEST_F(ProductionLineTest, StopEndsTheModuleAfterTheExchangeUnderWayWithWhereAndHowFar)
{
    struct TCase {
        const char* Name;
        bool Silent;  // no module answers
        int AtWrite;  // the line is stopped as the module takes this write frame (0: its first read)
        const char* Cause;
    };
    const TCase cases[] = {
        {"waiting", true, 0, "остановлено при ожидании модуля"},
        {"reading", false, 0, "остановлено при чтении модуля, модуль не изменён"},
        {"writing", false, 5, "остановлено при записи, записано блоков: 5 из 16 — модуль изменён частично"},
        {"checking", false, 16, "остановлено при проверке, модуль записан, но не проверен"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TProductionLine* running = nullptr;
        std::atomic<int> writes{0};
        std::atomic<bool> stopped{false};
        // On the module's thread, before its reply goes out.
        TModule module(11110000, [&](TModuleSim&, const TBytes& request) {
            const bool read = request[1] == TModuleSim::kFnRead && (c.Silent || FrameData(request).at(2) > 1);
            writes += WriteAddress(request) >= 0;
            if (!stopped && (c.AtWrite == 0 ? read && writes == 0 : writes == c.AtWrite)) {
                stopped = true;
                running->Stop();
            }
        });
        if (c.Silent)
            module.Sim.InjectFault({TSimFault::Silence, -1});
        const TBytes keysBefore = module.Area(KeyTableAddress, KeyTableSize);
        std::vector<TLineResult> results;
        TLineOptions options;
        options.Template = Template();
        options.Once = true;
        options.ReportFile = File("report.csv");
        options.Events = [&](const TLineEvent& event) {
            if (event.Kind == TLineEvent::Ended)
                results.push_back(event.Result);
        };
        QFile::remove(options.ReportFile);
        TProductionLine line(options);
        running = &line;
        QString error;
        ASSERT_TRUE(line.Start({module.Port()}, error)) << error.toStdString();
        line.Wait();

        ASSERT_EQ(results.size(), 1u);
        EXPECT_FALSE(results[0].Passed);
        EXPECT_EQ(results[0].Cause, QString::fromUtf8(c.Cause));
        EXPECT_EQ(writes, c.AtWrite);  // nothing more went out once stopped
        if (c.AtWrite == 0) {
            EXPECT_EQ(module.Area(KeyTableAddress, KeyTableSize), keysBefore);
        }
        const QStringList report = QString::fromStdString(ReadFile(Dir / "report.csv")).split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(report.value(1), TProductionLine::ReportLine(results[0]));
    }
}

}  // namespace

// Qt SQL loads the catalogue's driver through the application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
