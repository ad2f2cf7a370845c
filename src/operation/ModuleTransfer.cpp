#include "operation/ModuleTransfer.h"

#include <memory>

#include "device/ModuleAreas.h"
#include "link/KOR_ZEM.h"
#include "module/Backups.h"
#include "module/HeldModule.h"
#include "operation/DeviceOperation.h"
#include "ui/Mydialogs.h"

TOperationResult ReadFromModule(QWidget* owner, TDeviceSession& session, const QString& title, unsigned parts, TModuleCopy& copy,
                                const QString& failure)
{
    auto read = std::make_shared<TModuleCopy>();
    const TOperationResult result = RunDeviceOperation(
        owner, session, {title},
        [read, parts](TKOR_ZEM& device, TOperationProgress& progress) {
            return ReadModuleParts(device, progress, parts, *read);
        },
        {}, failure.isEmpty() ? TOutcome() : TOutcome{TOutcome::Warning, failure});
    if (result == TOperationResult::Succeeded)
        copy = *read;
    return result;
}

bool BackupBeforeWrite(QWidget* owner, TDeviceSession& session, unsigned parts)
{
    TModuleCopy copy;
    const TOperationResult result =
        ReadFromModule(owner, session, QStringLiteral("Резервная копия перед записью"), parts, copy, QString());
    if (result == TOperationResult::Cancelled || result == TOperationResult::NotRun)
        return false;
    QString problem;
    if (result == TOperationResult::Succeeded) {
        if (SaveBackup(copy, session.PortName(), problem))
            return true;
    } else {
        problem = QStringLiteral("Не удалось прочитать из модуля то, что будет перезаписано.");
        const QString cause = QString::fromStdString(LinkErrorCause(LastDeviceError()));
        if (!cause.isEmpty())
            problem += QLatin1Char('\n') + cause;
    }
    return ConfirmationDlg(owner, problem + QStringLiteral("\nРезервная копия не сохранена. Записать без неё?"));
}

bool WriteToModule(QWidget* owner, TDeviceSession& session, const QString& title, const TModuleCopy& copy, THeldModule& held,
                   const QString& success, const QString& failure)
{
    if (!BackupBeforeWrite(owner, session, PartsOverwritten(copy)))
        return false;
    const bool written =
        RunDeviceOperation(
            owner, session, {title, true},
            [copy](TKOR_ZEM& device, TOperationProgress& progress) { return WriteModuleParts(device, progress, copy); },
            {TOutcome::Information, success}, {TOutcome::Warning, failure}) == TOperationResult::Succeeded;
    if (written)
        held.Written(copy);
    return written;
}
