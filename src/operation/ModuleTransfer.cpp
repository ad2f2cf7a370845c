#include "operation/ModuleTransfer.h"

#include <memory>
#include <utility>

#include "device/DeviceSession.h"
#include "device/ModuleAreas.h"
#include "device/ToolCore.h"
#include "link/KOR_ZEM.h"
#include "module/HeldModule.h"
#include "operation/DeviceOperation.h"
#include "ui/Mydialogs.h"

namespace {

const QString kNoBackup = QStringLiteral("\nРезервная копия не сохранена. Записать без неё?");

}  // namespace

bool RecordVersion(TToolCore& core, TVersionKind kind, const TModuleCopy& copy, QString& error)
{
    TVersionInfo info;
    info.Kind = kind;
    info.Port = core.Session().PortName();
    info.Adapter = core.AdapterSerial(info.Port);
    TCatalogue& catalogue = core.Catalogue();
    if (!catalogue.IsOpen()) {
        error = core.CatalogueProblem().isEmpty() ? QStringLiteral("каталог модулей не открыт") : core.CatalogueProblem();
        return false;
    }
    return catalogue.Record(copy, info, error);
}

TOperationResult ReadFromModule(QWidget* owner, TDeviceSession& session, const QString& title, unsigned parts, TModuleCopy& copy,
                                const QString& failure)
{
    auto read = std::make_shared<TModuleCopy>();
    QStringList names;
    for (const auto& [part, name] : {std::pair{PartSettings, SettingsAreaName}, {PartKeys, KeysAreaName}, {PartGprs, GprsAreaName}}) {
        if (parts & part)
            names << name;
    }
    const TOperationResult result = RunDeviceOperation(
        owner, session, {title, false, QStringLiteral("Прочитано из модуля: %1").arg(names.join(QStringLiteral(", ")))},
        [read, parts](TKOR_ZEM& device, TOperationProgress& progress) {
            return ReadModuleParts(device, progress, parts, *read);
        },
        {}, failure.isEmpty() ? TOutcome() : TOutcome{TOutcome::Warning, failure});
    if (result == TOperationResult::Succeeded)
        copy = *read;
    return result;
}

bool BackupBeforeWrite(QWidget* owner, TToolCore& core, unsigned parts, TModuleCopy& backup)
{
    backup = TModuleCopy();
    TModuleCopy copy;
    const TOperationResult result = ReadFromModule(owner, core.Session(), QStringLiteral("Резервная копия перед записью"),
                                                   parts | PartGprs, copy, QString());
    if (result == TOperationResult::Cancelled || result == TOperationResult::NotRun)
        return false;
    QString problem;
    if (result == TOperationResult::Succeeded) {
        QString error;
        if (RecordVersion(core, TVersionKind::Backup, copy, error)) {
            backup = copy;
            return true;
        }
        problem = QStringLiteral("Резервная копия не записана в каталог модулей: %1").arg(error);
    } else {
        problem = QStringLiteral("Не удалось прочитать из модуля то, что будет перезаписано.");
        const QString cause = QString::fromStdString(LinkErrorCause(LastDeviceError()));
        if (!cause.isEmpty())
            problem += QLatin1Char('\n') + cause;
    }
    return ConfirmationDlg(owner, problem + kNoBackup);
}

TModuleCopy HeldAfterWrite(const TModuleCopy& backup, const TModuleCopy& written)
{
    TModuleCopy held = backup;
    held.KeyComments.clear();
    const TModuleCopy expected = ExpectedAfterWrite(backup, written);
    if (expected.Settings)
        held.Settings = expected.Settings;
    else if (written.Settings)
        held.Settings = written.Settings;
    if (expected.Keys)
        held.Keys = expected.Keys;
    if (expected.Gprs)
        held.Gprs = expected.Gprs;
    if (held.Keys && written.Keys)
        held.KeyComments = written.KeyComments;
    return held;
}

bool WriteToModule(QWidget* owner, TToolCore& core, const QString& title, const TModuleCopy& copy, THeldModule& held,
                   const QString& success, const QString& failure)
{
    TModuleCopy backup;
    if (!BackupBeforeWrite(owner, core, PartsOverwritten(copy), backup))
        return false;
    const bool written =
        RunDeviceOperation(
            owner, core.Session(), {title, true},
            [copy](TKOR_ZEM& device, TOperationProgress& progress) { return WriteModuleParts(device, progress, copy); },
            {TOutcome::Information, success}, {TOutcome::Warning, failure}) == TOperationResult::Succeeded;
    if (!written)
        return false;
    held.Written(copy);
    QString error;
    if (!RecordVersion(core, TVersionKind::Write, HeldAfterWrite(backup, copy), error))
        WarningDlg(owner, QStringLiteral("Записанное в модуль не сохранено в каталоге модулей: %1").arg(error));
    return true;
}
