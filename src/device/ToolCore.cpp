#include "device/ToolCore.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include "device/Appconfig.h"
#include "device/DeviceSession.h"
#include "link/ExchangeRecorder.h"
#include "module/DiskFiles.h"
#include "module/GprsBlock.h"
#include "module/IniFile.h"
#include "util/LogFile.h"

namespace {

constexpr int kLogDaysKept = 14;

}  // namespace

TToolCore::TToolCore(const QString& logFolder)
{
    // The display name would be appended to every dialog caption on X11, so only the name is set.
    QCoreApplication::setApplicationName(QStringLiteral("ZEM 2.0"));
    InitAppDir();
    FConfig = std::make_unique<TIniFile>(AppDir() + QStringLiteral("ZEM.cfg"));
    FRecorder = std::make_unique<TExchangeRecorder>();
    FRecorder->SetSecrets({{GprsBlockAddress + GprsPasswordOffset, GprsPasswordSize}});
    if (FConfig->ReadBool(QLatin1String(kLogSection), QLatin1String(kLogKey), true)) {
        const QString folder = !logFolder.isEmpty() ? logFolder
                                                    : QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                                                          QStringLiteral("/logs");
        FLog = std::make_unique<TDailyLog>(LocalFileName(folder), "zem-", kLogDaysKept);
        FRecorder->SetLog(FLog.get());
    }
    FSession = std::make_unique<TDeviceSession>(FRecorder.get());
}

TToolCore::~TToolCore()
{
    FSession.reset();
    FRecorder->SetLog(nullptr);
}
