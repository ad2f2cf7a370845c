#include "device/ToolCore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "catalogue/Catalogue.h"
#include "device/Appconfig.h"
#include "device/DeviceSession.h"
#include "link/ExchangeRecorder.h"
#include "module/DiskFiles.h"
#include "module/GprsBlock.h"
#include "module/Backups.h"
#include "module/IniFile.h"
#include "module/SerialCounter.h"
#include "util/LogFile.h"

namespace {

constexpr int kLogDaysKept = 14;

}  // namespace

TToolCore::TToolCore(const QString& logFolder)
{
    // The display name would be appended to every dialog caption on X11, so only the name is set.
    QCoreApplication::setApplicationName(QStringLiteral("ZEM 2.0"));
    InitAppDir();
    FConfig = std::make_unique<TIniFile>(ConfigFileName());
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

QString TToolCore::CatalogueLocation(const QString& given) const
{
    return CatalogueLocation(*FConfig, given);
}

QString TToolCore::CatalogueLocation(const TIniFile& config, const QString& given)
{
    if (!given.isEmpty())
        return given;
    const QString configured =
        config.ReadString(QLatin1String(kCatalogueSection), QLatin1String(kCatalogueKey), QString()).trimmed();
    if (configured.isEmpty())
        return TCatalogue::DefaultLocation();
    if (TCatalogue::IsServerUrl(configured))
        return configured;
    return QFileInfo(QDir(AppDir()), configured).absoluteFilePath();
}

bool TToolCore::OpenCatalogue(const QString& url)
{
    FCatalogueTried = true;
    FCatalogueProblem.clear();
    FCatalogue = std::make_unique<TCatalogue>();
    FCatalogueUrl = CatalogueLocation(url);
    QString error;
    if (!FCatalogue->OpenPreferred(FCatalogueUrl, error)) {
        FCatalogueProblem = error;
        return false;
    }
    // The old files stay where they are; a failed import is tried again at the next start.
    if (FCatalogue->ImportOnce(BackupsFolder(), DefaultSerialCounterFile(), error) < 0)
        FCatalogueProblem = QStringLiteral("Старые резервные копии не перенесены в каталог: ") + error;
    return true;
}

TCatalogue& TToolCore::Catalogue()
{
    if (!FCatalogueTried)
        OpenCatalogue();
    return *FCatalogue;
}
