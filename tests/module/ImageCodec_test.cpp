// The value encodings of the settings image, without widgets, and the field table they serve.
#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>
#include <set>

#include "module/Defaults.h"
#include "module/ImageCodec.h"
#include "module/ImageFields.h"

namespace {

// Converts the text; the bytes it gave, or the refusal's message.
struct TResult {
    bool Ok;
    uint8_t Bytes[2];
    QString Error;
};

TResult Convert(TEncoding encoding, const QString& text, uint8_t before0 = 0xEE, uint8_t before1 = 0xEE)
{
    TResult r{false, {before0, before1}, QString()};
    r.Ok = TextToField(encoding, text, r.Bytes, r.Error);
    return r;
}

QString Shown(TEncoding encoding, uint8_t b0, uint8_t b1 = 0)
{
    const uint8_t bytes[2] = {b0, b1};
    return FieldToText(encoding, bytes);
}

}  // namespace

TEST(ImageCodec, everyByteShownAsText_readsBackTheSameByte)
{
    // A voltage shows one decimal of sixteenths and its text is truncated back: the byte may
    // come back one less (so an untouched page keeps the byte instead).
    for (TEncoding encoding : {TEncoding::Number, TEncoding::Temperature, TEncoding::Voltage}) {
        for (int value = 0; value < 256; ++value) {
            const TResult r = Convert(encoding, Shown(encoding, uint8_t(value)));
            ASSERT_TRUE(r.Ok) << value;
            EXPECT_TRUE(r.Bytes[0] == value || (encoding == TEncoding::Voltage && r.Bytes[0] == value - 1)) << value;
        }
    }
    for (int code = 0; code <= 0xFFFF; ++code) {
        const TResult r = Convert(TEncoding::OnTime, Shown(TEncoding::OnTime, uint8_t(code >> 8), uint8_t(code)));
        ASSERT_TRUE(r.Ok) << code;
        ASSERT_EQ(r.Bytes[0] << 8 | r.Bytes[1], code);
    }
    for (int hour = 0; hour < 24; ++hour) {
        for (int minute = 0; minute < 60; ++minute) {
            const TResult r = Convert(TEncoding::Clock, Shown(TEncoding::Clock, uint8_t(hour), uint8_t(minute)));
            ASSERT_TRUE(r.Ok);
            EXPECT_EQ(r.Bytes[0], hour);
            EXPECT_EQ(r.Bytes[1], minute);
        }
    }
}

TEST(ImageCodec, everyTypedVoltageTenth_isStoredTruncated_andReadsBackAsTyped)
{
    for (int tenths = 0; tenths < 160; ++tenths) {
        const QString typed = QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
        const TResult r = Convert(TEncoding::Voltage, typed);
        ASSERT_TRUE(r.Ok) << typed.toStdString();
        // Sixteenths of a volt, the fraction dropped: 10.3 V is 164.8, stored as 164.
        EXPECT_EQ(r.Bytes[0], tenths * 16 / 10) << typed.toStdString();
        EXPECT_EQ(Shown(TEncoding::Voltage, r.Bytes[0]), typed);
    }
}

TEST(ImageCodec, examplesShowAndStoreAsTheModuleCountsThem)
{
    const struct {
        TEncoding Encoding;
        uint8_t B0, B1;
        const char* Text;
    } shown[] = {
        {TEncoding::Voltage, 168, 0, "10.5"},   {TEncoding::Voltage, 208, 0, "13.0"},
        {TEncoding::Voltage, 169, 0, "10.6"},   {TEncoding::Voltage, 165, 0, "10.3"},
        {TEncoding::Voltage, 4, 0, "0.3"},      {TEncoding::Voltage, 12, 0, "0.8"},  // ties up
        {TEncoding::Voltage, 255, 0, "15.9"},   {TEncoding::Temperature, 0, 0, "-40"},
        {TEncoding::Temperature, 160, 0, "120"}, {TEncoding::Temperature, 255, 0, "215"},
        {TEncoding::Clock, 21, 0, "21:00"},     {TEncoding::Clock, 255, 7, "255:07"},
        {TEncoding::OnTime, 0, 5, "0.5"},       {TEncoding::OnTime, 0, 14, "5"},
        {TEncoding::OnTime, 0xFF, 0xFF, "65526"},
    };
    for (const auto& s : shown)
        EXPECT_EQ(Shown(s.Encoding, s.B0, s.B1), QString::fromUtf8(s.Text)) << s.Text;

    const struct {
        TEncoding Encoding;
        const char* Text;
        int B0, B1;  // -1: left as it was
    } stored[] = {
        {TEncoding::Number, "0", 0, -1},        {TEncoding::Number, " 255 ", 255, -1},
        {TEncoding::Number, "+7", 7, -1},       {TEncoding::Temperature, "-40", 0, -1},
        {TEncoding::Temperature, "120", 160, -1}, {TEncoding::Voltage, "10,5", 168, -1},
        {TEncoding::Voltage, "10.5", 168, -1},  {TEncoding::Voltage, "13.04", 208, -1},
        {TEncoding::Voltage, "15.99", 255, -1}, {TEncoding::Voltage, "", -1, -1},
        {TEncoding::Voltage, "  ", -1, -1},     {TEncoding::Clock, "07:30", 7, 30},
        {TEncoding::Clock, "7:30", 7, 30},      {TEncoding::Clock, "0:00", 0, 0},
        {TEncoding::Clock, "23:59", 23, 59},    {TEncoding::OnTime, "0.5", 0, 5},
        {TEncoding::OnTime, "0,7", 0, 7},       {TEncoding::OnTime, "1", 0, 10},
        {TEncoding::OnTime, "2.7", 0, 11},      {TEncoding::OnTime, "5", 0, 14},
        {TEncoding::OnTime, "0", 0, 0},         {TEncoding::OnTime, "65526", 0xFF, 0xFF},
        {TEncoding::OnTime, "", -1, -1},
    };
    for (const auto& s : stored) {
        const TResult r = Convert(s.Encoding, QString::fromUtf8(s.Text));
        ASSERT_TRUE(r.Ok) << s.Text << " " << r.Error.toStdString();
        EXPECT_EQ(r.Bytes[0], s.B0 < 0 ? 0xEE : s.B0) << s.Text;
        EXPECT_EQ(r.Bytes[1], s.B1 < 0 ? 0xEE : s.B1) << s.Text;
    }
}

TEST(ImageCodec, textsTheModuleCannotHold_areRefusedWithTheirReason)
{
    const QString time = QStringLiteral("Неверное время автопостановки! Укажите время в формате ЧЧ:ММ");
    const struct {
        TEncoding Encoding;
        const char* Text;
        QString Error;
    } refused[] = {
        {TEncoding::Number, "", QStringLiteral("'' is not a valid integer value")},
        {TEncoding::Number, "12a", QStringLiteral("'12a' is not a valid integer value")},
        {TEncoding::Number, "1.5", QStringLiteral("'1.5' is not a valid integer value")},
        {TEncoding::Number, "300", QStringLiteral("Значение должно быть от 0 до 255!")},
        {TEncoding::Number, "-1", QStringLiteral("Значение должно быть от 0 до 255!")},
        {TEncoding::Number, "99999999999", QStringLiteral("'99999999999' is not a valid integer value")},
        {TEncoding::Temperature, "-41", QStringLiteral("Значение должно быть от -40 до 215!")},
        {TEncoding::Temperature, "216", QStringLiteral("Значение должно быть от -40 до 215!")},
        {TEncoding::Voltage, "16", QStringLiteral("Значение должно быть от 0.0 до 15.9!")},
        {TEncoding::Voltage, "-0.5", QStringLiteral("Значение должно быть от 0.0 до 15.9!")},
        {TEncoding::Voltage, "abc", QStringLiteral("'abc' is not a valid floating point value")},
        {TEncoding::Voltage, "1e99", QStringLiteral("'1e99' is not a valid floating point value")},
        {TEncoding::OnTime, "-1", QStringLiteral("Значение должно быть от 0 до 65526!")},
        {TEncoding::OnTime, "70000", QStringLiteral("Значение должно быть от 0 до 65526!")},
        {TEncoding::OnTime, "5 s", QStringLiteral("'5 s' is not a valid floating point value")},
        {TEncoding::Clock, "", time},
        {TEncoding::Clock, "0730", time},
        {TEncoding::Clock, "21:5x", time},
        {TEncoding::Clock, "25:99", time},
        {TEncoding::Clock, "24:00", time},
        {TEncoding::Clock, "12:60", time},
        {TEncoding::Clock, "123:00", time},
        {TEncoding::Clock, "7:3", time},
        {TEncoding::Clock, "٧:٣٠", time},  // digits of another script
    };
    for (const auto& r : refused) {
        const TResult result = Convert(r.Encoding, QString::fromUtf8(r.Text));
        EXPECT_FALSE(result.Ok) << r.Text;
        EXPECT_EQ(result.Error, r.Error) << r.Text;
        EXPECT_EQ(result.Bytes[0], 0xEE) << r.Text;
        EXPECT_EQ(result.Bytes[1], 0xEE) << r.Text;
    }
}

TEST(ImageCodec, numbersUseThePointWhateverTheLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    std::setlocale(LC_ALL, "ru_RU.UTF-8");  // when the system has it
    EXPECT_EQ(Shown(TEncoding::Voltage, 168), QStringLiteral("10.5"));
    EXPECT_EQ(Shown(TEncoding::OnTime, 0, 3), QStringLiteral("0.3"));
    EXPECT_EQ(Shown(TEncoding::Number, 200), QStringLiteral("200"));
    EXPECT_TRUE(Convert(TEncoding::Voltage, QStringLiteral("10,5")).Ok);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(before);
}

TEST(ImageCodec, listsShowTheItemOfTheirCode_orNone)
{
    // Byte, first code, item count, position shown. A mode code of 0 has no item, and code 10
    // (mains presence) only on Z5's list.
    const int cases[][4] = {{0, 0, 5, 0},   {4, 0, 5, 4},   {5, 0, 5, -1},  {255, 0, 5, -1}, {0, 1, 9, -1},
                            {9, 1, 9, 8},   {10, 1, 9, -1}, {10, 1, 10, 9}, {4, 5, 7, -1},   {11, 5, 7, 6}};
    for (const auto& c : cases)
        EXPECT_EQ(ByteToListPosition(uint8_t(c[0]), c[1], c[2]), c[3]) << c[0] << " " << c[1] << " " << c[2];
    EXPECT_EQ(ListPositionToByte(6, 5), 11);
    EXPECT_TRUE(ByteToFlag(200));
    EXPECT_FALSE(ByteToFlag(0));
    EXPECT_EQ(FlagToByte(true), 1);
}

TEST(ImageCodec, phoneNumbersPackTwoCharactersAByte_andOnlyWhatTheModuleHoldsPasses)
{
    const struct {
        const char* Text;
        uint8_t Bytes[7];
    } packed[] = {
        {"+1234", {0xA1, 0x23, 0x4F, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"12", {0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"12345678901234", {0x12, 0x34, 0x56, 0x78, 0x90, 0x12, 0x34}},  // no room for an end mark
        {"+3805012345678", {0xA3, 0x80, 0x50, 0x12, 0x34, 0x56, 0x78}},
        {"", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto& p : packed) {
        const QString text = QString::fromLatin1(p.Text);
        EXPECT_EQ(CheckPhoneNumber(text), text) << p.Text;
        uint8_t bytes[7] = {0, 0, 0, 0, 0, 0, 0};
        EncodePhone(text, bytes);
        EXPECT_TRUE(std::equal(bytes, bytes + 7, p.Bytes)) << p.Text;
        EXPECT_EQ(DecodePhone(p.Bytes), text) << p.Text;
    }
    // Reading stops at the first end mark; "+" counts only in a high half.
    const uint8_t endInLow[7] = {0x38, 0x0A, 0x12, 0x34, 0x56, 0x78, 0x90};
    EXPECT_EQ(DecodePhone(endInLow), QStringLiteral("380"));
    const uint8_t endInHigh[7] = {0x38, 0xB1, 0x12, 0x34, 0x56, 0x78, 0x90};
    EXPECT_EQ(DecodePhone(endInHigh), QStringLiteral("38"));

    for (const char* text : {"123456789012345", "+12345678901234", "12+3", "++1", "+38 050", "38050a", "+",
                             "٠٥٠١٢٣", "０５０"})
        EXPECT_TRUE(CheckPhoneNumber(QString::fromUtf8(text)).isEmpty()) << text;
}

TEST(ImageFields, eachByteBelongsToOneField_andTheReservedOnesToNone)
{
    const std::set<int> reserved = {0, 1, 2, 3, 5, 10, 38, 85, 91, 98, 99, 100, 101, 102, 103, 117, 121, 122, 123, 124};
    std::set<int> used;
    std::set<std::string> controls;
    for (const TImageField& field : ImageFields()) {
        if (IsControlEncoding(field.Encoding)) {
            EXPECT_TRUE(controls.insert(std::to_string(int(field.Page)) + field.Control).second) << field.Control;
        }
        EXPECT_TRUE(FieldTitle(field).startsWith(PageCaption(field.Page) + QStringLiteral(" / "))) << field.Control;
        for (int a = field.Address; a < field.Address + field.Width(); ++a) {
            ASSERT_TRUE(a >= 0 && a < SettingsSize) << field.Control;
            EXPECT_EQ(reserved.count(a), 0u) << field.Control << " at " << a;
            EXPECT_TRUE(used.insert(a).second) << field.Control << " at " << a;
        }
    }
    EXPECT_EQ(FieldTitle(*PageFields(TImagePage::Common)[3]),
              QStringLiteral("Общие / Температурный датчик 1 / Минимальная температура (-40), °С"));
    EXPECT_EQ(FieldTitle(*PageFields(TImagePage::Outputs)[2]), QStringLiteral("Выходы / О1"));
    EXPECT_EQ(FieldTitle(*PageFields(TImagePage::Mobiles)[3]), QStringLiteral("Абоненты / 2 / Уровни информирования"));
}

TEST(Defaults, areTheFactoryTable)
{
    // Typed from the module's factory table, address 0 onwards.
    const char* const typed =
        "00 00 01 93 02 00 01 14 A8 D0 00 01 01 04 07 08 "
        "08 09 0A 0A 01 01 01 01 00 01 01 01 03 03 07 01 "
        "01 01 01 01 01 00 00 03 FF FF FF FF FF FF FF FF "
        "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF "
        "FF FF FF FF FF FF FF FF FF FF FF 1F 1F 1F 1F 1F "
        "65 00 A0 00 A0 00 00 00 1E 00 05 00 01 0F 04 04 "
        "04 04 00 00 00 00 00 00 00 0E 00 0E 00 0E 00 0E "
        "00 0E 00 0E 0C 00 0F 15 00 00 00 00 00";
    const QStringList bytes = QString::fromLatin1(typed).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_EQ(bytes.size(), SettingsSize);
    for (int i = 0; i < SettingsSize; ++i)
        EXPECT_EQ(DefaultSettings[i], bytes[i].toInt(nullptr, 16)) << "address " << i;
}
