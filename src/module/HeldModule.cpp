#include "module/HeldModule.h"

TModuleCopy THeldModule::Copy() const
{
    TModuleCopy copy;
    if (SettingsFilled)
        copy.Settings = Settings;
    copy.Keys = Keys;
    if (Keys)
        copy.KeyComments = KeyComments;
    copy.Gprs = Gprs;
    return copy;
}

void THeldModule::Take(const TModuleCopy& copy)
{
    if (copy.Settings) {
        Settings = *copy.Settings;
        SettingsFilled = true;
    }
    if (copy.Keys) {
        Keys = copy.Keys;
        KeyComments = copy.KeyComments;
    }
    if (copy.Gprs)
        Gprs = copy.Gprs;
}

void THeldModule::Written(const TModuleCopy& copy)
{
    MarkInModule(copy.Parts());
    if (copy.Keys)
        Settings[KeyCountAddress] = uint8_t(KeyTableCount(*copy.Keys));
}

QString THeldModule::UnwrittenText(unsigned parts) const
{
    const unsigned lost = FUnwritten & parts;
    QStringList names;
    if (lost & PartSettings)
        names << SettingsAreaName;
    if (lost & PartKeys)
        names << KeysAreaName;
    if (lost & PartGprs)
        names << GprsAreaName;
    if (names.isEmpty())
        return QString();
    return QStringLiteral("Изменения не записаны в модуль: %1.").arg(names.join(QStringLiteral(", ")));
}
