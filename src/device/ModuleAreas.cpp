#include "device/ModuleAreas.h"

#include <functional>
#include <iterator>
#include <memory>
#include <vector>

#include "device/DeviceSession.h"
#include "link/KOR_ZEM.h"

namespace {

constexpr int kTimeoutMs = 1000;
constexpr int kKeyEraseTimeoutMs = 100;
constexpr int kKeyReadBlock = 64;
constexpr int kKeyWriteBlock = 32;
constexpr int kGprsWriteBlock = 32;

// The settings go out in three blocks; addresses 0 and 124 are never written.
struct TBlock {
    int Address;
    int Count;
};
constexpr TBlock kSettingsBlocks[] = {{1, 40}, {40, 40}, {80, 44}};

// One exchange of a multi-area operation, with the words its progress shows.
struct TExchange {
    QString Text;
    std::function<bool(TKOR_ZEM&)> Run;
};

bool RunExchanges(TKOR_ZEM& device, TOperationProgress& progress, const std::vector<TExchange>& exchanges)
{
    const int total = int(exchanges.size());
    for (int i = 0; i < total; ++i) {
        if (!progress.Step(i + 1, total, exchanges[i].Text) || !exchanges[i].Run(device))
            return false;
    }
    return true;
}

QString BlockText(const QString& area, int block, int blocks)
{
    return QStringLiteral("%1: блок %2 из %3").arg(area).arg(block).arg(blocks);
}

void AddRead(std::vector<TExchange>& list, const QString& text, int address, int count, uint8_t* destination)
{
    list.push_back({text, [=](TKOR_ZEM& device) {
                        return device.ReadParams(uint16_t(address), uint8_t(count), destination, kTimeoutMs) == count;
                    }});
}

void AddWrite(std::vector<TExchange>& list, const QString& text, int address, int count, const uint8_t* source,
              int timeoutMs = kTimeoutMs)
{
    list.push_back({text, [=](TKOR_ZEM& device) {
                        return device.WriteParams(uint16_t(address), source, uint8_t(count), timeoutMs);
                    }});
}

}  // namespace

bool ReadModuleParts(TKOR_ZEM& device, TOperationProgress& progress, unsigned parts, TModuleCopy& copy)
{
    // The areas are read into buffers of their own and handed over only when all arrived.
    TSettingsBytes settings{};
    TKeyTable keys{};
    TGprsBytes gprs{};
    std::vector<TExchange> list;
    if (parts & PartSettings)
        AddRead(list, BlockText(SettingsAreaName, 1, 1), 0, SettingsSize, settings.data());
    if (parts & PartKeys) {
        constexpr int blocks = KeyTableSize / kKeyReadBlock;
        for (int b = 0; b < blocks; ++b)
            AddRead(list, BlockText(KeysAreaName, b + 1, blocks), KeyTableAddress + kKeyReadBlock * b, kKeyReadBlock,
                    keys.data() + kKeyReadBlock * b);
    }
    if (parts & PartGprs)
        AddRead(list, BlockText(GprsAreaName, 1, 1), GprsBlockAddress, GprsBlockSize, gprs.data());
    if (!RunExchanges(device, progress, list))
        return false;
    copy = TModuleCopy();
    if (parts & PartSettings)
        copy.Settings = settings;
    if (parts & PartKeys)
        copy.Keys = keys;
    if (parts & PartGprs)
        copy.Gprs = gprs;
    return true;
}

bool WriteModuleParts(TKOR_ZEM& device, TOperationProgress& progress, const TModuleCopy& copy)
{
    static const uint8_t kEmpty = EmptyKeySlot;
    TSettingsBytes settings{};
    TKeyTable keys{};
    TGprsBytes gprs{};
    uint8_t count = 0;
    std::vector<TExchange> list;
    if (copy.Keys) {
        keys = *copy.Keys;
        count = uint8_t(KeyTableCount(keys));
    }
    if (copy.Settings) {
        settings = *copy.Settings;
        if (copy.Keys)
            settings[KeyCountAddress] = count;
        const int blocks = int(std::size(kSettingsBlocks));
        for (int b = 0; b < blocks; ++b) {
            const TBlock& block = kSettingsBlocks[b];
            AddWrite(list, BlockText(SettingsAreaName, b + 1, blocks), block.Address, block.Count,
                     settings.data() + block.Address);
        }
        if (!copy.Keys && settings[KeyCountAddress] == 0) {
            for (int slot = 0; slot < KeySlotCount; ++slot)
                AddWrite(list, QStringLiteral("очистка ключей: ячейка %1 из %2").arg(slot + 1).arg(KeySlotCount),
                         KeyTableAddress + KeySlotSize * slot, 1, &kEmpty, kKeyEraseTimeoutMs);
        }
    }
    if (copy.Keys) {
        constexpr int blocks = KeyTableSize / kKeyWriteBlock;
        for (int b = 0; b < blocks; ++b)
            AddWrite(list, BlockText(KeysAreaName, b + 1, blocks), KeyTableAddress + kKeyWriteBlock * b, kKeyWriteBlock,
                     keys.data() + kKeyWriteBlock * b);
        AddWrite(list, QStringLiteral("ключи: число ключей"), KeyCountAddress, 1, &count);
    }
    if (copy.Gprs) {
        gprs = *copy.Gprs;
        constexpr int blocks = GprsBlockSize / kGprsWriteBlock;
        for (int b = 0; b < blocks; ++b)
            AddWrite(list, BlockText(GprsAreaName, b + 1, blocks), GprsBlockAddress + kGprsWriteBlock * b,
                     kGprsWriteBlock, gprs.data() + kGprsWriteBlock * b);
    }
    return RunExchanges(device, progress, list);
}

QString WrittenPartText(int lastStep, int total, bool stepRefused)
{
    // A step once begun has sent its frame, and the module may have taken it even when no answer
    // came back: only the steps before a failed one are surely written.
    const int done = stepRefused ? lastStep : lastStep - 1;
    if (done > 0)
        return QStringLiteral("записано блоков: %1 из %2 — модуль изменён частично").arg(done).arg(total);
    return lastStep > 0 ? QStringLiteral("модуль мог получить часть изменений") : QString();
}

TModuleCopy ExpectedAfterWrite(const TModuleCopy& before, const TModuleCopy& written)
{
    TModuleCopy expected;
    if (written.Settings && before.Settings) {
        TSettingsBytes settings = *written.Settings;
        // The addresses no block covers keep what the module had.
        settings.front() = before.Settings->front();
        settings.back() = before.Settings->back();
        if (written.Keys)
            settings[KeyCountAddress] = uint8_t(KeyTableCount(*written.Keys));
        expected.Settings = settings;
        if (!written.Keys && settings[KeyCountAddress] == 0 && before.Keys) {
            TKeyTable keys = *before.Keys;
            for (int slot = 0; slot < KeySlotCount; ++slot)
                keys[size_t(KeySlotSize * slot)] = EmptyKeySlot;
            expected.Keys = keys;
        }
    }
    if (written.Keys)
        expected.Keys = written.Keys;
    expected.Gprs = written.Gprs;
    return expected;
}

unsigned PartsOverwritten(const TModuleCopy& copy)
{
    unsigned parts = 0;
    if (copy.Settings)
        parts |= PartSettings;
    // Settings with no keys stored erase the key table (see WriteModuleParts).
    if (copy.Keys || (copy.Settings && (*copy.Settings)[KeyCountAddress] == 0))
        parts |= PartKeys;
    if (copy.Gprs)
        parts |= PartGprs;
    return parts;
}
