#include "app/CatalogueLocation.h"

#include <QDir>
#include <QFileInfo>

#include "catalogue/Catalogue.h"
#include "device/Appconfig.h"
#include "module/IniFile.h"

QString CatalogueLocation(const QString& given)
{
    if (!given.isEmpty())
        return given;
    const QString configured = TIniFile(AppDir() + QStringLiteral("ZEM.cfg"))
                                   .ReadString(QStringLiteral("Catalogue"), QStringLiteral("Database"), QString());
    if (configured.isEmpty())
        return TCatalogue::DefaultLocation();
    if (TCatalogue::IsServerUrl(configured))
        return configured;
    return QFileInfo(QDir(AppDir()), configured).absoluteFilePath();
}
