// The GPRS block as the module holds it and as the page's edits show it.
#include <gtest/gtest.h>

#include <vector>

#include "module/GprsBlock.h"

namespace {

TGprsTexts Valid()
{
    return {QStringLiteral("12345678"), QStringLiteral("inter"), QStringLiteral("192.168.0.1"), QStringLiteral("8080"),
            QString(), QStringLiteral("secret"), QStringLiteral("monitoring.example.com/x.php")};
}

std::vector<uint8_t> Encode(const TGprsTexts& texts)
{
    std::vector<uint8_t> block(GprsBlockSize, 0x11);
    TGprsField field;
    QString error;
    EXPECT_TRUE(EncodeGprsBlock(texts, block.data(), field, error)) << error.toStdString();
    return block;
}

}  // namespace

TEST(GprsBlock, textsGoToTheirBytes_andReadBackTheSame)
{
    TGprsTexts texts = Valid();
    std::vector<uint8_t> block = Encode(texts);
    EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 4), (std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78}));
    // A short text: its bytes, one zero, then 0xFF.
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 4, block.begin() + 11),
              (std::vector<uint8_t>{'i', 'n', 't', 'e', 'r', 0, 0xFF}));
    EXPECT_EQ(block[35], 0xFF);
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 36, block.begin() + 42),
              (std::vector<uint8_t>{192, 168, 0, 1, 0x1F, 0x90}));
    EXPECT_EQ(block[42], 0);  // an empty user name is one zero byte
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 43, block.begin() + 50), std::vector<uint8_t>(7, 0xFF));
    EXPECT_EQ(std::vector<uint8_t>(block.begin() + 122, block.end()), std::vector<uint8_t>(6, 0xFF));

    const TGprsTexts back = DecodeGprsBlock(block.data());
    EXPECT_EQ(back.SN, texts.SN);
    EXPECT_EQ(back.APN, texts.APN);
    EXPECT_EQ(back.IP, texts.IP);
    EXPECT_EQ(back.Port, texts.Port);
    EXPECT_EQ(back.User, QString());
    EXPECT_EQ(back.Password, texts.Password);
    EXPECT_EQ(back.Server, texts.Server);

    // Fields filled to their last byte carry no zero; Cyrillic goes as Windows-1251 bytes.
    texts.APN = QString(32, QLatin1Char('a'));
    texts.User = QStringLiteral("оператор");
    texts.Port = QStringLiteral("65535");
    block = Encode(texts);
    EXPECT_EQ(block[36], 192);
    EXPECT_EQ(block[40], 0xFF);
    EXPECT_EQ(block[41], 0xFF);
    EXPECT_EQ(block[42], 0xEE);  // о
    EXPECT_EQ(block[50], 's');
    const TGprsTexts full = DecodeGprsBlock(block.data());
    EXPECT_EQ(full.APN, texts.APN);
    EXPECT_EQ(full.User, texts.User);
    EXPECT_EQ(full.Port, QStringLiteral("65535"));

    // "я" is 0xFF: a field of them is stored while any other byte or the closing zero is there.
    const QChar ya(u'я');
    texts.User = QString(7, ya) + QLatin1Char('x');
    texts.Password = QString(7, ya);
    texts.APN = QString(15, ya) + QLatin1Char('.') + QString(16, ya);
    const TGprsTexts yas = DecodeGprsBlock(Encode(texts).data());
    EXPECT_EQ(yas.User, texts.User);
    EXPECT_EQ(yas.Password, texts.Password);
    EXPECT_EQ(yas.APN, texts.APN);

    // An erased block: no texts, not a row of "я"; the serial number as question marks.
    const std::vector<uint8_t> erased(GprsBlockSize, 0xFF);
    const TGprsTexts none = DecodeGprsBlock(erased.data());
    EXPECT_EQ(none.SN, QStringLiteral("????????"));
    EXPECT_TRUE(none.APN.isEmpty() && none.User.isEmpty() && none.Password.isEmpty() && none.Server.isEmpty());
    EXPECT_EQ(none.IP, QStringLiteral("255.255.255.255"));
    EXPECT_EQ(none.Port, QStringLiteral("65535"));
}

TEST(GprsBlock, textsTheModuleCannotHold_areRefusedInThePagesOrder)
{
    const QString serial = QStringLiteral("Неверный формат серийного номера устройства. Номер должен состоять из 8 цифр!");
    const auto erased = [](const char* caption) {
        return QStringLiteral("Поле «%1», заполненное одними буквами «я», модуль примет за стёртое: оно прочитается "
                              "пустым. Измените значение!")
            .arg(QString::fromUtf8(caption));
    };
    const QChar ya(u'я');
    const struct {
        TGprsField Field;
        QString Text;
        TGprsField Expected;
        QString Error;
    } cases[] = {
        {TGprsField::SN, QStringLiteral("1234567"), TGprsField::SN, serial},
        {TGprsField::SN, QStringLiteral("1234567A"), TGprsField::SN, serial},
        {TGprsField::SN, QStringLiteral("1234 678"), TGprsField::SN, serial},
        {TGprsField::SN, QStringLiteral("١٢٣٤٥٦٧٨"), TGprsField::SN, serial},
        {TGprsField::APN, QString(), TGprsField::APN, QStringLiteral("Укажите точку доступа!")},
        {TGprsField::APN, QString(33, QLatin1Char('a')), TGprsField::APN,
         QStringLiteral("Значение не должно быть длиннее 32 символов!")},
        {TGprsField::APN, QStringLiteral("inter中net"), TGprsField::APN, QStringLiteral("Символ «中» нельзя записать в модуль!")},
        {TGprsField::IP, QString(), TGprsField::IP, QStringLiteral("Укажите IP адрес!")},
        {TGprsField::IP, QStringLiteral("1.2.3.4.5"), TGprsField::IP, QStringLiteral("Неверный формат IP адреса!")},
        {TGprsField::IP, QStringLiteral("1.2.3.256"), TGprsField::IP, QStringLiteral("Неверный формат IP адреса!")},
        {TGprsField::IP, QStringLiteral("1.2.3"), TGprsField::IP, QStringLiteral("Неверный формат IP адреса!")},
        {TGprsField::Port, QString(), TGprsField::Port, QStringLiteral("Введите номер порта!")},
        {TGprsField::Port, QStringLiteral("-1"), TGprsField::Port, QStringLiteral("Введите номер порта!")},
        {TGprsField::Port, QStringLiteral("65536"), TGprsField::Port, QStringLiteral("Номер порта должен быть меньше 65536!")},
        {TGprsField::User, QStringLiteral("123456789"), TGprsField::User,
         QStringLiteral("Значение не должно быть длиннее 8 символов!")},
        {TGprsField::Password, QStringLiteral("пароль✓"), TGprsField::Password,
         QStringLiteral("Символ «✓» нельзя записать в модуль!")},
        {TGprsField::Server, QStringLiteral("example.com/😀"), TGprsField::Server,
         QStringLiteral("Символ «😀» нельзя записать в модуль!")},
        {TGprsField::User, QStringLiteral("ab") + QChar(0xD83D), TGprsField::User, QString()},  // a half of a pair
        {TGprsField::Server, QString(), TGprsField::Server, QStringLiteral("Адрес запроса!")},
        {TGprsField::Server, QString(65, QLatin1Char('x')), TGprsField::Server,
         QStringLiteral("Значение не должно быть длиннее 64 символов!")},
        // Bytes that would read back as an erased field.
        {TGprsField::APN, QString(32, ya), TGprsField::APN, erased("Точка доступа (APN)")},
        {TGprsField::User, QString(8, ya), TGprsField::User, erased("Имя пользователя")},
        {TGprsField::Password, QString(8, ya), TGprsField::Password, erased("Пароль")},
        {TGprsField::Server, QString(64, ya), TGprsField::Server, erased("Запрос для мониторинга (без http://)")},
    };
    for (const auto& c : cases) {
        TGprsTexts texts = Valid();
        QString* fields[] = {&texts.SN, &texts.APN, &texts.IP, &texts.Port, &texts.User, &texts.Password, &texts.Server};
        *fields[int(c.Field)] = c.Text;
        std::vector<uint8_t> block(GprsBlockSize);
        TGprsField field = TGprsField::SN;
        QString error;
        EXPECT_FALSE(EncodeGprsBlock(texts, block.data(), field, error)) << c.Text.toStdString();
        EXPECT_EQ(field, c.Expected) << c.Text.toStdString();
        if (!c.Error.isEmpty()) {
            EXPECT_EQ(error, c.Error) << c.Text.toStdString();
        }
    }
    // The first failing check wins: a bad serial number before an empty access point.
    TGprsTexts texts = Valid();
    texts.SN = QStringLiteral("1");
    texts.APN.clear();
    std::vector<uint8_t> block(GprsBlockSize);
    TGprsField field;
    QString error;
    EXPECT_FALSE(EncodeGprsBlock(texts, block.data(), field, error));
    EXPECT_EQ(field, TGprsField::SN);
}
