#pragma once
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "Defaults.h"
#include "GprsBlock.h"
#include "Ow_keyutils.h"

class QWidget;
enum class TOperationResult;
class TKOR_ZEM;
class TOperationProgress;

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

// Reads the areas named by `parts` into `copy`, in the order settings, keys, GPRS, each as its
// page reads it. Progress steps run across all of them and name the area ("ключи: блок 2 из 4").
bool ReadModuleParts(TKOR_ZEM& device, TOperationProgress& progress, unsigned parts, TModuleCopy& copy);

// Writes every area the copy holds, each as its page writes it: the settings in three blocks
// (addresses 0 and 124 are never written), then the key table and its count, then the GPRS
// block. Settings written without a key table and with a key count of 0 erase every key slot,
// as the module expects; with a key table the count is the table's.
bool WriteModuleParts(TKOR_ZEM& device, TOperationProgress& progress, const TModuleCopy& copy);

// The areas a write of the copy changes in the module: those it holds, and the key table when
// its settings store no keys.
unsigned PartsOverwritten(const TModuleCopy& copy);

// The areas the tool holds otherwise than the module held them when last read or written: marked
// when the tool changes one on its own (a reset, a stored page, a file), unmarked when the area
// is read and shown, or written (WriteToModule does that itself).
unsigned UnwrittenParts();
void MarkUnwritten(unsigned parts);
void MarkInModule(unsigned parts);

// The two as operations of the window (RunDeviceOperation): the read fills `copy` only when it
// succeeded and says nothing then; the failure text opens the warning of either (none when empty).
// The write first keeps a backup of what it overwrites (BackupBeforeWrite), and nothing is
// written without one unless the operator says so; after a key table's write the image holds
// its count.
TOperationResult ReadFromModule(QWidget* owner, const QString& title, unsigned parts, TModuleCopy& copy,
                                const QString& failure);
bool WriteToModule(QWidget* owner, const QString& title, const TModuleCopy& copy, const QString& success,
                   const QString& failure);
