#include "device/ProductionLine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <optional>
#include <thread>

#include "catalogue/Catalogue.h"
#include "device/DeviceSession.h"
#include "device/ModuleAreas.h"
#include "link/ComPort.h"
#include "link/KOR_ZEM.h"
#include "module/Backups.h"
#include "module/DiskFiles.h"
#include "module/GprsBlock.h"
#include "module/ModuleCompare.h"
#include "util/Dnxfileutils.h"

namespace {

// Between link checks while no module answers, and while one still answers after it was done.
constexpr int kRetryPauseMs = 200;
constexpr int kPresencePauseMs = 300;
constexpr qint64 kReportLimit = 64 * 1024 * 1024;

// A module's round, in the words of its steps ("запись: ключи: блок 2 из 8").
enum class TPhase { Reading, Writing, Checking };

QString CsvCell(QString text)
{
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString LinkCause(TKOR_ZEM& device)
{
    const QString cause = QString::fromStdString(LinkErrorCause(device.LastError()));
    return cause.isEmpty() ? QStringLiteral("модуль не ответил") : cause;
}

// The number the GPRS block's text names; 0 for an erased or unreadable one.
quint32 SerialNumber(const QString& text)
{
    bool ok = false;
    const quint32 number = text.toUInt(&ok);
    return ok ? number : 0;
}

// `parts` over `whole`: what the module holds once those areas are as `parts` has them.
TModuleCopy Overlaid(TModuleCopy whole, const TModuleCopy& parts)
{
    if (parts.Settings)
        whole.Settings = parts.Settings;
    if (parts.Keys)
        whole.Keys = parts.Keys;
    if (parts.Gprs)
        whole.Gprs = parts.Gprs;
    return whole;
}

TLineEvent MakeEvent(TLineEvent::TKind kind, const QString& port)
{
    TLineEvent event;
    event.Kind = kind;
    event.Port = port;
    return event;
}

struct TPartBytes {
    const QString& Name;
    const uint8_t* Read;
    const uint8_t* Expected;
    size_t Size;
    int Address;
};

// The first area whose bytes read back differ from those written, with the first address and
// what the pages call the value there; empty when all agree.
QString Mismatch(const TModuleCopy& back, const TModuleCopy& expected)
{
    std::vector<TPartBytes> parts;
    if (expected.Settings && back.Settings)
        parts.push_back({SettingsAreaName, back.Settings->data(), expected.Settings->data(), SettingsSize, 0});
    if (expected.Keys && back.Keys)
        parts.push_back({KeysAreaName, back.Keys->data(), expected.Keys->data(), KeyTableSize, KeyTableAddress});
    if (expected.Gprs && back.Gprs)
        parts.push_back({GprsAreaName, back.Gprs->data(), expected.Gprs->data(), GprsBlockSize, GprsBlockAddress});
    for (const TPartBytes& part : parts) {
        const auto at = std::mismatch(part.Read, part.Read + part.Size, part.Expected);
        if (at.first == part.Read + part.Size)
            continue;
        QString text = QStringLiteral("прочитанное после записи не совпадает с записанным: %1, адрес %2")
                           .arg(part.Name)
                           .arg(part.Address + int(at.first - part.Read));
        const QList<TDifference> differences = CompareCopies(back, expected);
        if (!differences.isEmpty())
            text += QStringLiteral(" (%1)").arg(DifferenceText(differences.first()));
        return text;
    }
    return QString();
}

}  // namespace

class TProductionLine::TWorker final : public TOperationProgress {
public:
    TWorker(TProductionLine& line, QString port) : FLine(line), FPort(std::move(port)), FSession(line.FOptions.Recorder)
    {
        FSession.ChoosePort(FPort);
        FSession.SetKeepOpen(true);
    }
    ~TWorker() override
    {
        Stop();
        Join();
    }

    void Start() { FThread = std::thread([this] { Run(); }); }
    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FStop = true;
        }
        FWake.notify_all();
    }
    void Join()
    {
        if (FThread.joinable())
            FThread.join();
    }

    bool Step(int step, int total, const QString& text) override
    {
        if (Stopping()) {
            FStepRefused = true;
            return false;
        }
        FLastStep = step;
        FTotal = total;
        FStepText = FPhase + QStringLiteral(": ") + text;
        TLineEvent event = MakeEvent(TLineEvent::Working, FPort);
        event.Step = step;
        event.Total = total;
        event.Text = FStepText;
        FLine.Emit(event);
        return true;
    }

private:
    bool Stopping()
    {
        std::lock_guard<std::mutex> lock(FMutex);
        return FStop;
    }
    // False when stopped meanwhile.
    bool Pause(int ms)
    {
        std::unique_lock<std::mutex> lock(FMutex);
        return !FWake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FStop; });
    }

    // Link checks while the module's presence is `present`, each after a pause but the first:
    // until the answer changes, the port fails, the line stops or `patienceMs` has gone by
    // (negative: no end). The checks are one record. True when the answer changed.
    bool PollWhile(bool present, const QString& title, int patienceMs, int pauseMs)
    {
        QElapsedTimer clock;
        clock.start();
        FSession.Begin(title);
        bool changed = false;
        while (!Stopping()) {
            changed = FSession.Device().CheckLink() != present;
            if (changed || FSession.Device().LastError().PortFailure)
                break;
            if (patienceMs >= 0 && clock.elapsed() >= patienceMs)
                break;
            Pause(pauseMs);
        }
        if (changed)
            FSession.End(true, present ? "модуль снят" : "модуль ответил");
        else if (Stopping())
            FSession.End(false, "остановлено", true);
        else if (FSession.Device().LastError().PortFailure)
            FSession.End(false, LinkFailureText(FSession.Device().LastError()));
        else
            FSession.End(false, "модуль не отвечает");
        return changed;
    }

    // Until a module answers: for patienceMs, or while not stopped when negative. A port that is
    // absent or failed is opened again meanwhile (a USB adapter plugged in anew comes back under
    // its name).
    bool WaitForModule(int patienceMs)
    {
        QElapsedTimer clock;
        clock.start();
        FLine.Emit(MakeEvent(TLineEvent::Waiting, FPort));
        while (!Stopping()) {
            const qint64 left = patienceMs < 0 ? -1 : std::max<qint64>(0, patienceMs - clock.elapsed());
            if (FSession.OpenPort()) {
                FOpenError = 0;
                if (PollWhile(false, QStringLiteral("Ожидание модуля"), int(left), kRetryPauseMs))
                    return true;
            } else {
                FOpenError = FSession.LastOpenError();
            }
            if (patienceMs >= 0 && clock.elapsed() >= patienceMs)
                return false;
            Pause(kRetryPauseMs);
        }
        return false;
    }

    void WaitUntilGone()
    {
        if (!Stopping() && FSession.OpenPort())
            PollWhile(true, QStringLiteral("Ожидание снятия модуля"), -1, kPresencePauseMs);
    }

    void Run()
    {
        const TLineOptions& options = FLine.FOptions;
        // The catalogue's connection is this thread's own, from its first query to its last.
        std::unique_ptr<TCatalogue> catalogue;
        if (!options.Catalogue.isEmpty()) {
            catalogue = std::make_unique<TCatalogue>();
            QString error;
            // Only the server gives out numbers: with numbering there is no offline catalogue.
            const bool open = options.SerialFrom != 0 ? catalogue->Open(options.Catalogue, error)
                                                      : catalogue->OpenPreferred(options.Catalogue, error);
            if (open)
                FCatalogue = catalogue.get();
            else
                FStopCause = QStringLiteral("каталог модулей не открывается: ") + error;
        }
        while (!Stopping() && FStopCause.isEmpty()) {
            TLineResult waited = NewResult();
            QElapsedTimer clock;
            clock.start();
            const bool present = WaitForModule(options.Once ? options.AnswerPatienceMs : -1);
            if (present) {
                SetUpModule();
            } else if (options.Once) {
                // The port's one module is accounted for either way.
                if (Stopping())
                    waited.Cause = QStringLiteral("остановлено при ожидании модуля");
                else
                    waited.Cause = FOpenError == 0 ? QStringLiteral("модуль не отвечает") : OpenFailure();
                waited.Seconds = double(clock.nsecsElapsed()) / 1e9;
                FLine.Finish(waited);
            }
            if (options.Once || !FStopCause.isEmpty())
                break;
            WaitUntilGone();
        }
        FSession.SetKeepOpen(false);
        FSession.End(false, "остановлено", true);
        FCatalogue = nullptr;
        catalogue.reset();
        TLineEvent stopped = MakeEvent(TLineEvent::Stopped, FPort);
        stopped.Text = FStopCause;
        FLine.Emit(stopped);
    }

    QString OpenFailure() const
    {
        const bool absent = FOpenError == ENOENT || FOpenError == ENODEV || FOpenError == ENXIO;
        return QStringLiteral("порт не открывается: %1")
            .arg(absent ? QStringLiteral("устройство не найдено") : QString::fromStdString(FileErrorReason(FOpenError)));
    }

    TLineResult NewResult()
    {
        TLineResult result;
        result.Started = QDateTime::currentDateTime();
        result.Port = FPort;
        if (FLine.FOptions.AdapterSerial)
            result.Adapter = FLine.FOptions.AdapterSerial(FPort);
        return result;
    }

    void SetUpModule()
    {
        QElapsedTimer clock;
        clock.start();
        TLineResult result = NewResult();
        std::optional<quint32> serial;
        FSession.Begin(QStringLiteral("Серийная настройка"));
        FHeld.reset();
        result.Cause = SetUp(result, serial);
        result.Passed = result.Cause.isEmpty();
        if (!result.Passed)
            result.SerialAfter = FSerialReadBack;
        Commit(result, serial);
        result.Seconds = double(clock.nsecsElapsed()) / 1e9;
        FSession.End(result.Passed, result.Cause.toStdString(), FStepRefused);
        FLine.Finish(result);
    }

    // The module's row into the catalogue, with its number used up when it passed; a number it
    // is known not to hold goes back. Anything the catalogue refuses stops the port.
    void Commit(TLineResult& result, const std::optional<quint32>& serial)
    {
        if (!FCatalogue)
            return;
        QString error;
        // A module that could not even be read has no copy, and no identity, to record.
        if (FHeld) {
            TVersionInfo info = VersionInfo(TVersionKind::Line, result);
            info.Passed = result.Passed;
            info.Result = result.Cause;
            info.SerialBefore = SerialNumber(result.SerialBefore);
            const bool committed = result.Passed && serial ? FCatalogue->UseSerial(*serial, *FHeld, info, error)
                                                           : FCatalogue->Record(*FHeld, info, error);
            if (!committed) {
                const QString cause = QStringLiteral("не записано в каталог модулей: ") + error;
                result.Cause = result.Passed ? cause : result.Cause + QStringLiteral("; ") + cause;
                result.Passed = false;
                StopPort(cause);
            }
        }
        if (serial && !result.Passed && !FSerialReadBack.isEmpty() && FSerialReadBack != GprsSerialText(*serial) &&
            !FCatalogue->GiveBack(*serial, error))
            StopPort(QStringLiteral("номер %1 не возвращён в каталог модулей: %2").arg(GprsSerialText(*serial), error));
    }

    TVersionInfo VersionInfo(TVersionKind kind, const TLineResult& result) const
    {
        TVersionInfo info;
        info.Kind = kind;
        info.Port = FPort;
        info.Adapter = result.Adapter;
        info.Run = FLine.FRun;
        return info;
    }

    void StopPort(const QString& cause)
    {
        if (FStopCause.isEmpty())
            FStopCause = cause;
    }

    // The module's whole round; the cause of its failure, or empty.
    QString SetUp(TLineResult& result, std::optional<quint32>& serial)
    {
        const TLineOptions& options = FLine.FOptions;
        TModuleCopy before;
        FSerialReadBack.clear();
        BeginPhase(TPhase::Reading);
        if (!ReadModuleParts(FSession.Device(), *this, PartAll, before))
            return Stopped(QStringLiteral("чтение модуля: ") + LinkCause(FSession.Device()));
        FHeld = before;
        result.SerialBefore = DecodeGprsBlock(before.Gprs->data()).SN;
        result.SerialAfter = result.SerialBefore;
        FSerialReadBack = result.SerialBefore;
        QString error;
        if (FCatalogue) {
            if (!FCatalogue->Record(before, VersionInfo(TVersionKind::Backup, result), error)) {
                StopPort(QStringLiteral("резервная копия не записана в каталог модулей: ") + error);
                return FStopCause;
            }
        } else if (!SaveSerialBackup(before, FPort, result.SerialBefore, error)) {
            return QStringLiteral("резервная копия: ") + error;
        }

        TModuleCopy plan = options.Template;
        if (options.SerialFrom != 0) {
            // Before the first byte is written: a module never holds a number nobody reserved.
            if (FCatalogue->Offline())
                StopPort(QStringLiteral("серийные номера выдаёт только сервер каталога, а он недоступен"));
            else if (!(serial = FCatalogue->Reserve(options.SerialFrom, FPort, error)))
                StopPort(error.isEmpty() ? QStringLiteral("серийные номера серии %1 кончились")
                                               .arg(GprsSerialText(options.SerialFrom))
                                         : QStringLiteral("серийный номер не зарезервирован: ") + error);
            if (!serial)
                return FStopCause;
            TGprsBytes gprs = plan.Gprs ? *plan.Gprs : *before.Gprs;
            PutGprsSerial(GprsSerialText(*serial), gprs.data());
            plan.Gprs = gprs;
        }
        if (plan.Gprs)
            result.SerialAfter = DecodeGprsBlock(plan.Gprs->data()).SN;

        BeginPhase(TPhase::Writing);
        FSerialReadBack.clear();  // unknown once the write has begun, until read back
        if (!WriteModuleParts(FSession.Device(), *this, plan)) {
            const QString cause = Stopped(
                QStringLiteral("запись прервана на шаге «%1»: %2").arg(FStepText, LinkCause(FSession.Device())));
            // Which number the module holds now decides whether its number may go to the next one.
            TModuleCopy gprs;
            FPhase = QStringLiteral("проверка номера");
            if (FLastStep == 0) {
                FSerialReadBack = result.SerialBefore;  // nothing of the write went out
            } else if (serial && !Stopping() && ReadModuleParts(FSession.Device(), *this, PartGprs, gprs)) {
                FSerialReadBack = DecodeGprsBlock(gprs.Gprs->data()).SN;
                FHeld = Overlaid(*FHeld, gprs);
            }
            return cause;
        }

        BeginPhase(TPhase::Checking);
        TModuleCopy back;
        if (!ReadModuleParts(FSession.Device(), *this, PartsOverwritten(plan), back))
            return Stopped(QStringLiteral("чтение после записи: ") + LinkCause(FSession.Device()));
        if (back.Gprs)
            FSerialReadBack = DecodeGprsBlock(back.Gprs->data()).SN;
        FHeld = Overlaid(*FHeld, back);
        return Mismatch(back, ExpectedAfterWrite(before, plan));
    }

    void BeginPhase(TPhase phase)
    {
        static const QString names[] = {QStringLiteral("чтение"), QStringLiteral("запись"), QStringLiteral("проверка")};
        FPhaseKind = phase;
        FPhase = names[int(phase)];
        FLastStep = FTotal = 0;
        FStepRefused = false;
    }

    // The cause of a phase that failed: the link's, or where the line stopped the module and what
    // became of it.
    QString Stopped(const QString& cause) const
    {
        if (!FStepRefused)
            return cause;
        if (FPhaseKind == TPhase::Writing) {
            const QString part = WrittenPartText(FLastStep, FTotal, true);
            return QStringLiteral("остановлено при записи, ") + (part.isEmpty() ? QStringLiteral("модуль не изменён") : part);
        }
        if (FPhaseKind == TPhase::Checking)
            return QStringLiteral("остановлено при проверке, модуль записан, но не проверен");
        return QStringLiteral("остановлено при чтении модуля, модуль не изменён");
    }

    TProductionLine& FLine;
    const QString FPort;
    TDeviceSession FSession;
    int FOpenError = 0;  // why the port did not open at the last try
    TPhase FPhaseKind = TPhase::Reading;
    QString FPhase;
    QString FStepText;
    // The phase's step begun last of its total, and whether a stop refused the one after it.
    int FLastStep = 0;
    int FTotal = 0;
    bool FStepRefused = false;
    // The serial number the module is known to hold (what it had before the write, or what was
    // read back after it; empty while unknown): the report's "after" for a module that failed.
    QString FSerialReadBack;
    // What the module is known to hold, as far as it was read: the copy its row records.
    std::optional<TModuleCopy> FHeld;
    TCatalogue* FCatalogue = nullptr;  // this thread's own, while it runs
    QString FStopCause;                // why the port stops before its next module
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FStop = false;
    std::thread FThread;
};

TProductionLine::TProductionLine(TLineOptions options) : FOptions(std::move(options))
{
    // Made once here: the workers' threads only read it.
    BackupsFolder();
}

TProductionLine::~TProductionLine()
{
    Stop();
    Wait();
}

bool TProductionLine::Start(const QStringList& ports, QString& error)
{
    if (!FOptions.ReportFile.isEmpty() && !ReadReport(FOptions.ReportFile, FReport, error))
        return false;
    const bool numbering = FOptions.SerialFrom != 0;
    if (numbering && FOptions.Catalogue.isEmpty()) {
        error = QStringLiteral("Серийные номера выдаёт каталог модулей, а он не выбран.");
        return false;
    }
    if (!FOptions.Catalogue.isEmpty() && FRun == 0) {
        auto catalogue = std::make_unique<TCatalogue>();
        QString cause;
        if (!(numbering ? catalogue->Open(FOptions.Catalogue, cause) : catalogue->OpenPreferred(FOptions.Catalogue, cause))) {
            error = (numbering ? QStringLiteral("Нумерация невозможна: каталог модулей не открывается: %1")
                               : QStringLiteral("Каталог модулей не открывается: %1"))
                        .arg(cause);
            return false;
        }
        // The old counter's series come in first, so that no number it gave out goes out again.
        if (!FOptions.OldCounterFile.isEmpty() &&
            catalogue->ImportOnce(BackupsFolder(), FOptions.OldCounterFile, cause) < 0 && numbering) {
            error = QStringLiteral("Прежний счётчик серийных номеров не перенесён в каталог модулей: %1").arg(cause);
            return false;
        }
        FRun = catalogue->BeginRun(cause);
        if (FRun <= 0) {
            FRun = 0;
            error = QStringLiteral("Каталог модулей: %1").arg(cause);
            return false;
        }
        // Open while the line lives: the file is not closed and checkpointed each time the last of
        // the workers' connections ends.
        FCatalogue = std::move(catalogue);
    }
    FWorkers.clear();  // ended: Wait has joined them
    for (const QString& port : ports) {
        FWorkers.push_back(std::make_unique<TWorker>(*this, port));
        FWorkers.back()->Start();
    }
    return true;
}

QString TProductionLine::PortsProblem(const QStringList& ports)
{
    for (int i = 1; i < ports.size(); ++i) {
        for (int j = 0; j < i; ++j) {
            if (SamePortDevice(ports[i].toStdString(), ports[j].toStdString()))
                return QStringLiteral("Порт «%1» — то же устройство, что «%2».").arg(ports[i], ports[j]);
        }
    }
    return QString();
}

void TProductionLine::Stop()
{
    for (auto& worker : FWorkers)
        worker->Stop();
}

void TProductionLine::Wait()
{
    for (auto& worker : FWorkers)
        worker->Join();
}

void TProductionLine::Emit(const TLineEvent& event)
{
    if (!FOptions.Events)
        return;
    std::lock_guard<std::mutex> lock(FEventMutex);
    FOptions.Events(event);
}

QString TProductionLine::ReportHeader()
{
    return QStringLiteral(
        "Время;Порт;Серийный номер адаптера USB;Серийный номер до;Серийный номер после;Результат;Причина;Секунды");
}

QString TProductionLine::ReportLine(const TLineResult& result)
{
    const QStringList cells{result.Started.toString(Qt::ISODate),
                            result.Port,
                            result.Adapter,
                            ShownGprsSerial(result.SerialBefore),
                            ShownGprsSerial(result.SerialAfter),
                            result.Passed ? QStringLiteral("успешно") : QStringLiteral("ошибка"),
                            result.Cause,
                            QString::number(result.Seconds, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','))};
    QStringList quoted;
    for (const QString& cell : cells)
        quoted << CsvCell(cell);
    return quoted.join(QLatin1Char(';'));
}

bool TProductionLine::ReadReport(const QString& fileName, QByteArray& bytes, QString& error)
{
    bytes.clear();
    if (!QFileInfo::exists(fileName) && !QFileInfo(fileName).isSymLink())
        return true;
    if (!ReadFileBounded(fileName, kReportLimit, bytes, error))
        return false;
    if (bytes.isEmpty())
        return true;
    const QByteArray header = ReportHeader().toUtf8();
    if (!bytes.startsWith(header + '\n') && !bytes.startsWith(header + "\r\n")) {
        error = QStringLiteral("Файл «%1» — не отчёт серийной настройки (его первая строка — не заголовок "
                               "отчёта), и он не будет перезаписан. Выберите другой файл отчёта.")
                    .arg(QDir::toNativeSeparators(fileName));
        bytes.clear();
        return false;
    }
    if (!bytes.endsWith('\n'))
        bytes += '\n';
    return true;
}

void TProductionLine::Finish(TLineResult& result)
{
    (result.Passed ? FPassed : FFailed)++;
    if (!FOptions.ReportFile.isEmpty()) {
        // Saved whole and anew after each module (one export for every port, one row at a time):
        // a row is there whole or not at all, whatever happens to the program or the disk.
        std::lock_guard<std::mutex> lock(FReportMutex);
        if (FReport.isEmpty())
            FReport = ReportHeader().toUtf8() + '\n';
        FReport += ReportLine(result).toUtf8() + '\n';
        QString error;
        QDir().mkpath(QFileInfo(FOptions.ReportFile).path());
        if (!SaveFileAtomically(FOptions.ReportFile, FReport, false, error))
            result.ReportProblem = error;
    }
    TLineEvent event = MakeEvent(TLineEvent::Ended, result.Port);
    event.Result = result;
    Emit(event);
}
