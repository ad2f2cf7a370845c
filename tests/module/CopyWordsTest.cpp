#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

#include "module/ModuleCompare.h"
#include "module/ModuleFile.h"

// With no window and no page built, a module copy and the compare still name every value in
// the pages' words: the words come from the field table and the key table's names.
namespace {

struct TSettingWord {
    int Address;
    uint8_t Byte;
    const char* Page;
    const char* Caption;
    const char* Text;
};

const TSettingWord kSettingWords[] = {
    {6, 1, "Общие", "Состояние счета / Отправлять информацию о состоянии счета с каждым SMS сообщением", "да"},
    {20, 0, "Cигнализация", "Параметры режима охраны / Отключить сигнализацию при открывании двери ключем", "нет"},
    {39, 4, "Общие", "Разное / Действие модуля по звонку абонента", "Перезвонить абоненту"},
    {39, 5, "Общие", "Разное / Действие модуля по звонку абонента", "код 5"},  // past the list's end
    {4, 7, "Общие", "Разное / Раздел меню по умолчанию", "P07"},
    // Z5 has one mode more than Z1 to Z4; Z6 and Z7 number theirs from "Отключена" on.
    {15, 10, "Входы", "Z5 / Режим работы", "Наличие 220 В"},
    {14, 10, "Входы", "Z4 / Режим работы", "код 10"},
    {16, 5, "Входы", "Z6 / Режим работы", "Отключена"},
    {16, 11, "Входы", "Z6 / Режим работы", "Считыватель ключей"},
    {22, 2, "Входы", "Z2 / Тревожное состояние", "Изменение уровня"},
    {92, 22, "Выходы", "Реле", "Разблокировка"},
    {97, 1, "Выходы", "O5", "Замок в импульсном режиме"},
};

TKeyTable KeysWithParams(std::initializer_list<std::pair<int64_t, uint8_t>> keys)
{
    TKeyTable table;
    table.fill(EmptyKeySlot);
    int slot = 0;
    for (const auto& [serial, param] : keys) {
        const TKeyRecord record = MakeKeyRecord(serial, param);
        std::memcpy(table.data() + KeySlotSize * slot++, &record, sizeof record);
    }
    return table;
}

std::string Text(const QString& text) { return text.toStdString(); }

}  // namespace

TEST(CopyWords, aCopyNamesFlagsListItemsAndKeyParameters)
{
    for (const TSettingWord& word : kSettingWords) {
        SCOPED_TRACE(std::string(word.Caption) + " = " + std::to_string(word.Byte));
        TModuleCopy copy;
        copy.Settings.emplace();
        copy.Settings->fill(0);
        (*copy.Settings)[word.Address] = word.Byte;
        const QJsonObject values = QJsonDocument::fromJson(ModuleFileBytes(copy, {}))
                                       .object()
                                       .value(QStringLiteral("settings"))
                                       .toObject()
                                       .value(QStringLiteral("values"))
                                       .toObject();
        const QJsonValue shown = values.value(QString::fromUtf8(word.Page)).toObject().value(QString::fromUtf8(word.Caption));
        EXPECT_EQ(Text(shown.toString()), word.Text);
    }

    TModuleCopy copy;
    copy.Keys = KeysWithParams({{0xA1B2C3, 3}, {0xA1B2C4, 0}, {0xA1B2C5, 200}});
    const QJsonArray keys = QJsonDocument::fromJson(ModuleFileBytes(copy, {}))
                                .object()
                                .value(QStringLiteral("keys"))
                                .toObject()
                                .value(QStringLiteral("values"))
                                .toArray();
    ASSERT_EQ(keys.size(), 3);
    const char* const params[] = {"Управление замком и режимом охраны", "Заблокирован", "200"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Text(keys[i].toObject().value(QStringLiteral("parameter")).toString()), params[i]);
}

TEST(CopyWords, theCompareNamesValuesInThePagesWords)
{
    TModuleCopy module, tool;
    module.Settings.emplace();
    module.Settings->fill(0);
    (*module.Settings)[15] = 1;
    tool.Settings = module.Settings;
    (*tool.Settings)[6] = 1;
    (*tool.Settings)[15] = 10;
    module.Keys = KeysWithParams({{0xA1B2C3, 0}});
    tool.Keys = KeysWithParams({{0xA1B2C3, 3}, {0xA1B2C4, 1}});

    QStringList lines;
    for (const TDifference& difference : CompareCopies(module, tool))
        lines << DifferenceText(difference);
    const QStringList expected{
        QStringLiteral("Общие / Состояние счета / Отправлять информацию о состоянии счета с каждым SMS сообщением: нет → да"),
        QStringLiteral("Входы / Z5 / Режим работы: Зона → Наличие 220 В"),
        QStringLiteral("Ключи / 10597059 (00 00 00 A1 B2 C3) / Параметры: Заблокирован → Управление замком и режимом охраны"),
        QStringLiteral("Ключи / 10597060 (00 00 00 A1 B2 C4): нет → Управление замком"),
    };
    EXPECT_EQ(Text(lines.join('\n')), Text(expected.join('\n')));
}
