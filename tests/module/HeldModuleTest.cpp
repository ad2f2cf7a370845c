// What the tool holds: which areas a copy of it takes, what a partial copy replaces, and what a
// write leaves behind.
#include <gtest/gtest.h>

#include "module/HeldModule.h"

namespace {

TKeyTable TableOf(int keys)
{
    TKeyTable table;
    table.fill(EmptyKeySlot);
    for (int slot = 0; slot < keys; ++slot)
        table[KeySlotSize * slot] = 0x01;
    return table;
}

}  // namespace

TEST(HeldModule, settingsGoIntoACopyOnlyOnceFilled_andAPartialCopyReplacesOnlyItsAreas)
{
    THeldModule held;
    held.Settings[7] = 21;  // a page stored before anything was read or reset
    EXPECT_TRUE(held.Copy().IsEmpty());

    TModuleCopy keys;
    keys.Keys = TableOf(2);
    keys.KeyComments = QStringList{QStringLiteral("вход"), QStringLiteral("склад")};
    held.Take(keys);
    EXPECT_FALSE(held.SettingsFilled);
    EXPECT_EQ(held.Copy().Parts(), unsigned(PartKeys));
    EXPECT_EQ(held.Copy().KeyComments, keys.KeyComments);

    TModuleCopy settings;
    settings.Settings.emplace();
    settings.Settings->fill(0x33);
    held.Take(settings);
    const TModuleCopy copy = held.Copy();
    EXPECT_EQ(copy.Parts(), unsigned(PartSettings | PartKeys));
    EXPECT_EQ(*copy.Settings, *settings.Settings);
    EXPECT_EQ(*copy.Keys, TableOf(2));
    EXPECT_EQ(copy.KeyComments, keys.KeyComments);

    // Comments go with the table they belong to, never alone.
    held.Keys.reset();
    EXPECT_TRUE(held.Copy().KeyComments.isEmpty());
}

TEST(HeldModule, writtenAreasAreNoLongerUnwritten_andAKeyTableLeavesItsCountInTheSettings)
{
    const struct {
        const char* Name;
        unsigned Written;
        unsigned StillUnwritten;
        uint8_t Count;
    } cases[] = {
        {"settings alone keep their count", PartSettings, PartKeys | PartGprs, 9},
        {"a key table sets the count", PartKeys, PartSettings | PartGprs, 3},
        {"everything", PartAll, 0, 3},
    };
    for (const auto& c : cases) {
        THeldModule held;
        held.Settings[KeyCountAddress] = 9;
        held.MarkUnwritten(PartAll);
        TModuleCopy copy;
        if (c.Written & PartSettings)
            copy.Settings = held.Settings;
        if (c.Written & PartKeys)
            copy.Keys = TableOf(3);
        if (c.Written & PartGprs)
            copy.Gprs.emplace();
        held.Written(copy);
        EXPECT_EQ(held.Unwritten(), c.StillUnwritten) << c.Name;
        EXPECT_EQ(held.Settings[KeyCountAddress], c.Count) << c.Name;
    }
}
