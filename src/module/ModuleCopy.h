#pragma once
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "keys/Ow_keyutils.h"
#include "module/Defaults.h"
#include "module/GprsBlock.h"

// The module's three areas the tool keeps copies of: the settings (0 to 124), the key table
// (480 to 735, 32 slots of 8 bytes, an empty slot starting with 0xFF) and the GPRS block.
constexpr int KeyTableAddress = 480;
constexpr int KeySlotSize = 8;
constexpr int KeySlotCount = 32;
constexpr int KeyTableSize = KeySlotSize * KeySlotCount;
constexpr int KeyCountAddress = 5;
constexpr uint8_t EmptyKeySlot = 0xFF;
constexpr uint8_t NewKeyParam = 3;  // what a key added by hand gets: "Управление замком и режимом охраны"

using TSettingsBytes = std::array<uint8_t, SettingsSize>;
using TKeyTable = std::array<uint8_t, KeyTableSize>;
using TGprsBytes = std::array<uint8_t, GprsBlockSize>;

// A copy of some or all of the module's areas: what a file, a backup or a read holds.
struct TModuleCopy {
    std::optional<TSettingsBytes> Settings;
    std::optional<TKeyTable> Keys;
    QStringList KeyComments;  // one per stored key, in slot order; kept only in files
    std::optional<TGprsBytes> Gprs;

    bool IsEmpty() const { return !Settings && !Keys && !Gprs; }
    // The areas it holds (TModulePart).
    unsigned Parts() const;
    // "настройки, ключи, GPRS": the areas it holds, as the operator is told.
    QString PartsText() const;
};

enum TModulePart : unsigned { PartSettings = 1, PartKeys = 2, PartGprs = 4, PartAll = 7 };

// The keys stored in the table, in slot order; an empty slot is passed over wherever it is.
std::vector<TKeyRecord> StoredKeys(const TKeyTable& table);
// How many keys the table holds.
int KeyTableCount(const TKeyTable& table);

// What a key's parameter value lets the key do, value 0 first, as the operator reads it.
QStringList KeyParamNames();
// The name of the parameter value; a value with no name as its number.
QString KeyParamName(int param);
// The key's six serial bytes as the keys page shows them: "00 00 A1 B2 C3 D4".
QString KeyText(const TKeyRecord& record);

// The areas' names, as the operator is told them.
inline const QString SettingsAreaName = QStringLiteral("настройки");
inline const QString KeysAreaName = QStringLiteral("ключи");
inline const QString GprsAreaName = QStringLiteral("GPRS");
