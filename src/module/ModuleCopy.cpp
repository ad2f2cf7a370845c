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
