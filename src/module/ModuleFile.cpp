#include "module/ModuleFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "keys/Ow_keyutils.h"
#include "module/DiskFiles.h"
#include "module/ImageFields.h"

const QString ModuleFileSuffix = QStringLiteral(".zem");

namespace {

const QString kFormatName = QStringLiteral("ZEM 2.0 module copy");
constexpr int kFormatVersion = 1;

const QString kFormat = QStringLiteral("format");
const QString kVersion = QStringLiteral("version");
const QString kSaved = QStringLiteral("saved");
const QString kPort = QStringLiteral("port");
const QString kTool = QStringLiteral("tool");
const QString kSettings = QStringLiteral("settings");
const QString kKeys = QStringLiteral("keys");
const QString kGprs = QStringLiteral("gprs");
const QString kBytes = QStringLiteral("bytes");
const QString kValues = QStringLiteral("values");
const QString kComment = QStringLiteral("comment");

QJsonObject SettingsValues(const TSettingsBytes& settings)
{
    QJsonObject pages;
    for (const TImageField& field : ImageFields()) {
        const QString page = PageCaption(field.Page);
        QJsonObject values = pages.value(page).toObject();
        values.insert(FieldCaption(field), ImageFieldText(field, settings.data()));
        pages.insert(page, values);
    }
    return pages;
}

QJsonArray KeyValues(const TKeyTable& table, const QStringList& comments)
{
    QJsonArray keys;
    int stored = 0;
    for (const TKeyRecord& record : StoredKeys(table)) {
        const int64_t serial = KeyRecordSerial(record);
        keys.append(QJsonObject{{QStringLiteral("serial"), QString::number(serial)},
                                {QStringLiteral("code"), QString::fromStdString(KeyCodeText(serial, true))},
                                {QStringLiteral("parameter"), KeyParamName(record.Param)},
                                {kComment, comments.value(stored++)}});
    }
    return keys;
}

QJsonObject GprsValues(const TGprsBytes& block)
{
    const TGprsTexts texts = DecodeGprsBlock(block.data());
    QJsonObject values;
    for (TGprsField field : GprsFields)
        values.insert(GprsFieldCaption(field), GprsFieldText(texts, field));
    return values;
}

// The area's raw bytes from its object: exactly `size` bytes of hexadecimal, or the reason not.
template <size_t Size>
bool AreaBytes(const QJsonObject& root, const QString& name, const QString& caption, std::array<uint8_t, Size>& out,
               QString& error)
{
    const QJsonValue text = root.value(name).toObject().value(kBytes);
    if (!text.isString()) {
        error = QStringLiteral("В части «%1» нет её байтов.").arg(caption);
        return false;
    }
    const QByteArray hex = text.toString().toLatin1();
    const bool allHex = std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(uchar(c)) != 0; });
    if (!allHex || hex.size() % 2 != 0) {
        error = QStringLiteral("Байты части «%1» записаны неверно (не шестнадцатеричные цифры).").arg(caption);
        return false;
    }
    if (hex.size() != qsizetype(2 * Size)) {
        error = QStringLiteral("Часть «%1» имеет длину %2 байт вместо %3.").arg(caption).arg(hex.size() / 2).arg(Size);
        return false;
    }
    const QByteArray bytes = QByteArray::fromHex(hex);
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return true;
}

}  // namespace

QByteArray ModuleFileBytes(const TModuleCopy& copy, const TModuleFileInfo& info)
{
    QJsonObject root{{kFormat, kFormatName},
                     {kVersion, kFormatVersion},
                     {kSaved, info.Saved.toString(Qt::ISODate)},
                     {kPort, info.Port},
                     {kTool, info.Tool}};
    auto hex = [](const auto& area) {
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(area.data()), int(area.size())).toHex());
    };
    if (copy.Settings)
        root.insert(kSettings, QJsonObject{{kBytes, hex(*copy.Settings)}, {kValues, SettingsValues(*copy.Settings)}});
    if (copy.Keys)
        root.insert(kKeys, QJsonObject{{kBytes, hex(*copy.Keys)}, {kValues, KeyValues(*copy.Keys, copy.KeyComments)}});
    if (copy.Gprs)
        root.insert(kGprs, QJsonObject{{kBytes, hex(*copy.Gprs)}, {kValues, GprsValues(*copy.Gprs)}});
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool ParseModuleFile(const QByteArray& bytes, TModuleCopy& copy, TModuleFileInfo& info, QString& error)
{
    const QString notOurs = QStringLiteral("Это не файл копии модуля ZEM.");
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError) {
        // Our own file cut short still names its format near the start.
        error = bytes.contains(kFormatName.toUtf8())
                    ? QStringLiteral("Файл повреждён или обрезан (ошибка в позиции %1: %2).")
                          .arg(parse.offset)
                          .arg(parse.errorString())
                    : notOurs;
        return false;
    }
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(kFormat).toString() != kFormatName) {
        error = notOurs;
        return false;
    }
    const int version = root.value(kVersion).toInt(0);
    if (version > kFormatVersion) {
        error = QStringLiteral("Файл сохранён более новой версией программы (формат %1); эта версия читает формат %2.")
                    .arg(version)
                    .arg(kFormatVersion);
        return false;
    }
    if (version < 1) {
        error = QStringLiteral("В файле не указана версия формата.");
        return false;
    }
    TModuleCopy read;
    if (root.contains(kSettings)) {
        read.Settings.emplace();
        if (!AreaBytes(root, kSettings, QStringLiteral("настройки"), *read.Settings, error))
            return false;
    }
    if (root.contains(kKeys)) {
        read.Keys.emplace();
        if (!AreaBytes(root, kKeys, QStringLiteral("ключи"), *read.Keys, error))
            return false;
        for (const QJsonValue& key : root.value(kKeys).toObject().value(kValues).toArray())
            read.KeyComments << key.toObject().value(kComment).toString();
        read.KeyComments = read.KeyComments.mid(0, KeyTableCount(*read.Keys));
    }
    if (root.contains(kGprs)) {
        read.Gprs.emplace();
        if (!AreaBytes(root, kGprs, QStringLiteral("GPRS"), *read.Gprs, error))
            return false;
    }
    if (read.IsEmpty()) {
        error = QStringLiteral("В файле нет ни настроек, ни ключей, ни настроек GPRS.");
        return false;
    }
    copy = read;
    info.Saved = QDateTime::fromString(root.value(kSaved).toString(), Qt::ISODate);
    info.Port = root.value(kPort).toString();
    info.Tool = root.value(kTool).toString();
    return true;
}

bool SaveModuleFile(const QString& fileName, const TModuleCopy& copy, const TModuleFileInfo& info, QString& error)
{
    return SaveFileAtomically(fileName, ModuleFileBytes(copy, info), true, error);
}

bool LoadModuleFile(const QString& fileName, TModuleCopy& copy, TModuleFileInfo& info, QString& error)
{
    // No copy of the three areas comes near the limit; a larger file is not one of ours.
    QByteArray bytes;
    return ReadFileBounded(fileName, CopyFileLimit, bytes, error) && ParseModuleFile(bytes, copy, info, error);
}
