#include "module/ModuleCopy.h"

#include <cstring>

unsigned TModuleCopy::Parts() const
{
    unsigned parts = 0;
    if (Settings)
        parts |= PartSettings;
    if (Keys)
        parts |= PartKeys;
    if (Gprs)
        parts |= PartGprs;
    return parts;
}

QString TModuleCopy::PartsText() const
{
    QStringList parts;
    if (Settings)
        parts << SettingsAreaName;
    if (Keys)
        parts << KeysAreaName;
    if (Gprs)
        parts << GprsAreaName;
    return parts.join(QStringLiteral(", "));
}

std::vector<TKeyRecord> StoredKeys(const TKeyTable& table)
{
    std::vector<TKeyRecord> keys;
    for (int slot = 0; slot < KeySlotCount; ++slot) {
        TKeyRecord record;
        std::memcpy(&record, table.data() + KeySlotSize * slot, sizeof record);
        if (record.Serial[0] != EmptyKeySlot)
            keys.push_back(record);
    }
    return keys;
}

int KeyTableCount(const TKeyTable& table)
{
    return int(StoredKeys(table).size());
}

QStringList KeyParamNames()
{
    return {QStringLiteral("Заблокирован"),
            QStringLiteral("Управление замком"),
            QStringLiteral("Управление режимом охраны по долгому касанию"),
            QStringLiteral("Управление замком и режимом охраны"),
            QStringLiteral("Включение режима охраны по долгому касанию"),
            QStringLiteral("Выключение режима охраны по долгому касанию"),
            QStringLiteral("Управление режимом охраны по короткому касанию"),
            QStringLiteral("Включение режима охраны по короткому касанию"),
            QStringLiteral("Выключение режима охраны по короткому касанию")};
}

QString KeyParamName(int param)
{
    const QStringList names = KeyParamNames();
    return param >= 0 && param < names.size() ? names[param] : QString::number(param);
}

QString KeyText(const TKeyRecord& record)
{
    QStringList bytes;
    for (int i = 5; i >= 0; --i)
        bytes << QStringLiteral("%1").arg(record.Serial[i], 2, 16, QLatin1Char('0')).toUpper();
    return bytes.join(QLatin1Char(' '));
}
