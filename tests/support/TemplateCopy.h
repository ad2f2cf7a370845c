#pragma once
// A module copy to set modules up with, for the production line's tests and benchmark.
// Header-only: its users link the module floor themselves.
#include <algorithm>
#include <cstring>

#include "module/Defaults.h"
#include "module/ModuleCopy.h"

// The factory settings, `keyCount` keys numbered from `firstKey` (no key table at all when
// negative), and an all-zero GPRS block.
inline TModuleCopy TemplateCopy(int keyCount, int64_t firstKey = 0)
{
    TModuleCopy copy;
    TSettingsBytes settings;
    std::copy(DefaultSettings, DefaultSettings + SettingsSize, settings.begin());
    copy.Settings = settings;
    if (keyCount >= 0) {
        TKeyTable keys;
        keys.fill(EmptyKeySlot);
        for (int i = 0; i < keyCount; ++i) {
            const TKeyRecord record = MakeKeyRecord(firstKey + i, 3);
            std::memcpy(keys.data() + KeySlotSize * i, &record, KeySlotSize);
        }
        copy.Keys = keys;
    }
    TGprsBytes gprs;
    gprs.fill(0);
    copy.Gprs = gprs;
    return copy;
}
