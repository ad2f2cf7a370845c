#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <atomic>
#include <functional>
#include <map>
#include <memory>

#include "LinkTestKit.h"
#include "TempFiles.h"
#include "TemplateCopy.h"
#include "device/ModuleAreas.h"
#include "device/ProductionLine.h"
#include "link/ExchangeRecorder.h"
#include "module/Backups.h"
#include "module/GprsBlock.h"
#include "module/ModuleFile.h"
#include "module/SerialCounter.h"
#include "sim/ModuleSim.h"
#include "util/LogFile.h"

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
    std::vector<TLineEvent::TKind> Kinds;
};

TRun RunOnce(const std::vector<TModule*>& modules, QStringList ports, const TModuleCopy& copy,
             TSerialCounter* counter, const QString& report, TExchangeRecorder* recorder = nullptr)
{
    TRun run;
    TLineOptions options;
    options.Recorder = recorder;
    options.Template = copy;
    options.Counter = counter;
    options.ReportFile = report;
    options.Once = true;
    options.AnswerPatienceMs = 1500;
    options.Events = [&run](const TLineEvent& event) {
        if (event.Kind == TLineEvent::Ended)
            run.Results[event.Port] = event.Result;
    };
    TProductionLine line(options);
    for (TModule* module : modules)
        ports << module->Port();
    line.Start(ports);
    line.Wait();
    return run;
}

class ProductionLineTest : public ::testing::Test {
protected:
    void SetUp() override { SetBackupsFolder(QString::fromStdString(Dir / "backups")); }
    void TearDown() override { SetBackupsFolder(QString()); }
    QString File(const char* name) const { return QString::fromStdString(Dir / name); }
    QStringList Backups() const { return QDir(BackupsFolder()).entryList(QDir::Files, QDir::Name); }

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
    const TRun run = RunOnce({&first, &second}, {}, Template(), nullptr, QString(), &recorder);
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
    struct TCase {
        const char* Name;
        TModuleFault Fault;
        const char* Cause;  // empty: passes
    };
    const TModuleFault silent = [](TModuleSim&, const TBytes&) {};
    const TCase cases[] = {
        {"good", nullptr, ""},
        {"silent", silent, "модуль не отвечает"},
        {"mid-write", [](TModuleSim& sim, const TBytes& request) {
             if (WriteAddress(request) == KeyTableAddress + 64)
                 sim.InjectFault({TSimFault::Silence, -1});
         }, "запись прервана на шаге «запись: ключи: блок 4 из 8»"},
        {"read-back", [](TModuleSim& sim, const TBytes& request) {
             if (WriteAddress(request) == GprsBlockAddress + 96)
                 sim.WriteMemory(GprsBlockAddress + 100, {'?'});
         }, "не совпадает с записанным: GPRS, адрес 836"},
        {"good too", nullptr, ""},
    };
    std::vector<std::unique_ptr<TModule>> modules;
    std::vector<TModule*> ports;
    for (size_t i = 0; i < std::size(cases); ++i) {
        modules.push_back(std::make_unique<TModule>(int(11110000 + i), cases[i].Fault));
        ports.push_back(modules.back().get());
    }
    modules[1]->Sim.InjectFault({TSimFault::Silence, -1});
    const TModuleCopy copy = Template();
    TSerialCounter counter(File("counter"));
    counter.StartAt(500);
    // And a port with nothing behind it.
    const QString absent = File("ttyUSB9");
    const TRun run = RunOnce(ports, {absent}, copy, &counter, File("report.csv"));
    ASSERT_EQ(run.Results.count(absent), 1u);
    EXPECT_TRUE(run.Results.at(absent).Cause.startsWith(QStringLiteral("порт не открывается: устройство не найдено")));

    QStringList serials;
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].Name);
        const TModule& module = *modules[i];
        ASSERT_EQ(run.Results.count(module.Port()), 1u);
        const TLineResult& result = run.Results.at(module.Port());
        EXPECT_EQ(result.Passed, std::strlen(cases[i].Cause) == 0);
        EXPECT_TRUE(result.Cause.contains(QString::fromUtf8(cases[i].Cause))) << result.Cause.toStdString();
        if (!result.Passed)
            continue;
        serials << result.SerialAfter;
        EXPECT_EQ(result.SerialBefore, GprsSerialText(quint32(11110000 + i)));
        TGprsBytes gprs = *copy.Gprs;
        PutGprsSerial(result.SerialAfter, gprs.data());
        EXPECT_EQ(module.Area(GprsBlockAddress, GprsBlockSize), TBytes(gprs.begin(), gprs.end()));
        EXPECT_EQ(module.Area(KeyTableAddress, KeyTableSize), TBytes(copy.Keys->begin(), copy.Keys->end()));
        EXPECT_EQ(module.Area(10, 1), TBytes{0x5A});
    }
    // Each passed module has a number of its own; the two that failed after taking one gave it
    // back, and the next modules take those first: no number is skipped.
    std::vector<quint32> numbers;
    for (const QString& serial : serials)
        numbers.push_back(serial.toUInt());
    numbers.push_back(*counter.Take());
    numbers.push_back(*counter.Take());
    std::sort(numbers.begin(), numbers.end());
    EXPECT_EQ(numbers, (std::vector<quint32>{500, 501, 502, 503}));

    // A backup of every module that could be read, by its serial number; the module that failed
    // part way has its old keys in it.
    const QStringList backups = Backups();
    EXPECT_EQ(backups.size(), 4);
    const QStringList midWrite = backups.filter(QStringLiteral("SN11110002_"));
    ASSERT_EQ(midWrite.size(), 1);
    TModuleCopy saved;
    TModuleFileInfo info;
    QString error;
    ASSERT_TRUE(LoadModuleFile(QDir(BackupsFolder()).filePath(midWrite[0]), saved, info, error));
    EXPECT_EQ(TBytes(saved.Keys->begin(), saved.Keys->end()), TBytes(KeyTableSize, uint8_t(11110002)));

    // The report: its header, then one line per module with port, numbers, result and cause.
    const QStringList lines = QString::fromStdString(ReadFile(Dir / "report.csv")).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2 + int(std::size(cases)));
    EXPECT_EQ(lines[0], TProductionLine::ReportHeader());
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TLineResult& result = run.Results.at(modules[i]->Port());
        EXPECT_EQ(lines.filter(modules[i]->Port() + ';').size(), 1) << cases[i].Name;
        EXPECT_TRUE(lines.contains(TProductionLine::ReportLine(result))) << cases[i].Name;
    }
}

TEST_F(ProductionLineTest, CounterSurvivesARestartAndGivesBackTheNumbersOfFailedModules)
{
    const QString file = File("counter");
    QString error;
    {
        TSerialCounter counter(file);
        ASSERT_TRUE(counter.Load(error));
        counter.StartAt(100);
        const auto first = counter.Take(), second = counter.Take(), third = counter.Take();
        EXPECT_EQ(*first, 100u);
        EXPECT_EQ(*second, 101u);
        EXPECT_EQ(*third, 102u);
        counter.GiveBack(*first);             // failed
        ASSERT_TRUE(counter.Use(*third, error));  // passed before the one in between ended
        EXPECT_EQ(*counter.Take(), 100u);     // the number given back comes first
    }  // the program ends with 100 and 101 out: neither was used up

    struct TStep {
        quint32 StartAt;
        std::vector<quint32> Taken;  // in order, each then used up
        quint32 Next;
    };
    const TStep steps[] = {
        {100, {100, 101, 103}, 104},  // the same start continues, the gaps first
        {100, {104}, 105},
        {7, {7, 8}, 9},  // another start begins anew
    };
    for (const TStep& step : steps) {
        TSerialCounter counter(file);
        ASSERT_TRUE(counter.Load(error)) << error.toStdString();
        counter.StartAt(step.StartAt);
        for (const quint32 expected : step.Taken) {
            const auto number = counter.Take();
            ASSERT_TRUE(number);
            EXPECT_EQ(*number, expected);
            ASSERT_TRUE(counter.Use(*number, error));
        }
        EXPECT_EQ(counter.Next(), step.Next);
    }

    for (const char* damaged : {"first 00000001\n", "first 1\nnext x\nfree\n", "first 5\nnext 3\nfree\n",
                                "first 1\nnext 4\nfree 00000009\n", "hello\n"}) {
        WriteFile(file.toStdString(), damaged);
        TSerialCounter counter(file);
        EXPECT_FALSE(counter.Load(error)) << damaged;
    }
}

TEST_F(ProductionLineTest, WaitsForTheModuleToGoAndTheNextToAnswer)
{
    TModule module(11110000);
    TSerialCounter counter(File("counter"));
    counter.StartAt(1);
    std::mutex mutex;
    std::vector<TLineResult> results;
    int waits = 0;
    TLineOptions options;
    options.Template = Template();
    options.Counter = &counter;
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
    line.Start({module.Port()});
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
        line.Start({module.Port()});
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
