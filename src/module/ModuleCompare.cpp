#include "module/ModuleCompare.h"

#include <QMap>

#include <cstring>

#include "keys/Ow_keyutils.h"
#include "module/ImageFields.h"

namespace {

const QString kKeysPage = QStringLiteral("Ключи");
const QString kGprsPage = QStringLiteral("GPRS");

QString Shown(const QString& value)
{
    return value.isEmpty() ? QStringLiteral("(пусто)") : value;
}

// The table's keys by serial number, in slot order.
QMap<int64_t, TKeyRecord> KeysOf(const TKeyTable& table)
{
    QMap<int64_t, TKeyRecord> keys;
    for (const TKeyRecord& record : StoredKeys(table))
        keys.insert(KeyRecordSerial(record), record);
    return keys;
}

// "Ключи / 1715004 (00 00 00 1A 2B 3C)": the serial number and the key as the page shows them.
QString KeyTitle(const TKeyRecord& record)
{
    return QStringLiteral("%1 / %2 (%3)").arg(kKeysPage).arg(KeyRecordSerial(record)).arg(KeyText(record));
}

void CompareKeys(const TKeyTable& module, const TKeyTable& tool, QList<TDifference>& out)
{
    const QMap<int64_t, TKeyRecord> inModule = KeysOf(module);
    const QMap<int64_t, TKeyRecord> inTool = KeysOf(tool);
    const QString absent = QStringLiteral("нет");
    for (auto key = inModule.begin(); key != inModule.end(); ++key) {
        if (!inTool.contains(key.key()))
            out << TDifference{KeyTitle(*key), KeyParamName(key->Param), absent};
        else if (inTool.value(key.key()).Param != key->Param)
            out << TDifference{KeyTitle(*key) + QStringLiteral(" / Параметры"), KeyParamName(key->Param),
                               KeyParamName(inTool.value(key.key()).Param)};
    }
    for (auto key = inTool.begin(); key != inTool.end(); ++key) {
        if (!inModule.contains(key.key()))
            out << TDifference{KeyTitle(*key), absent, KeyParamName(key->Param)};
    }
}

void CompareGprs(const TGprsBytes& module, const TGprsBytes& tool, QList<TDifference>& out)
{
    const TGprsTexts inModule = DecodeGprsBlock(module.data());
    const TGprsTexts inTool = DecodeGprsBlock(tool.data());
    for (TGprsField field : GprsFields) {
        const QString& a = GprsFieldText(inModule, field);
        const QString& b = GprsFieldText(inTool, field);
        if (a == b)
            continue;
        const QString title = kGprsPage + QStringLiteral(" / ") + GprsFieldCaption(field);
        // The password is never shown, not even here.
        if (field == TGprsField::Password)
            out << TDifference{title, QStringLiteral("другой"), QStringLiteral("изменён")};
        else
            out << TDifference{title, Shown(a), Shown(b)};
    }
}

}  // namespace

QString DifferenceText(const TDifference& difference)
{
    return QStringLiteral("%1: %2 → %3").arg(difference.Title, difference.InModule, difference.InTool);
}

QList<TDifference> CompareCopies(const TModuleCopy& module, const TModuleCopy& tool)
{
    QList<TDifference> out;
    if (module.Settings && tool.Settings) {
        for (const TImageField& field : ImageFields()) {
            const uint8_t* a = module.Settings->data();
            const uint8_t* b = tool.Settings->data();
            if (std::memcmp(a + field.Address, b + field.Address, size_t(field.Width())) != 0)
                out << TDifference{FieldTitle(field), Shown(ImageFieldText(field, a)), Shown(ImageFieldText(field, b))};
        }
    }
    if (module.Keys && tool.Keys)
        CompareKeys(*module.Keys, *tool.Keys, out);
    if (module.Gprs && tool.Gprs)
        CompareGprs(*module.Gprs, *tool.Gprs, out);
    return out;
}
