#include "module/GprsBlock.h"

#include <QList>

#include <algorithm>
#include <iterator>
#include <string>

#include "link/FrameText.h"
#include "module/TextValues.h"
#include "util/Cp1251.h"

namespace {

struct TTextField {
    int Offset;
    int Size;
};

constexpr int kSerialOffset = 0;
constexpr int kSerialDigits = 8;
constexpr TTextField kAPN{4, 32};
constexpr int kIPOffset = 36;
constexpr int kPortOffset = 40;
constexpr TTextField kUser{42, 8};
constexpr TTextField kPassword{GprsPasswordOffset, GprsPasswordSize};
// The simulator's trace hides the password by the link's range, knowing nothing of this block.
static_assert(GprsBlockAddress + GprsPasswordOffset == kGprsPasswordRange.Address &&
                  GprsPasswordSize == kGprsPasswordRange.Count,
              "the link's password range is not the block's password");
constexpr TTextField kServer{58, 64};
constexpr int kLargestPort = 65535;

QString FieldText(const uint8_t* block, TTextField field)
{
    const uint8_t* begin = block + field.Offset;
    const uint8_t* end = begin + field.Size;
    if (std::all_of(begin, end, [](uint8_t b) { return b == 0xFF; }))
        return QString();
    const uint8_t* stop = std::find(begin, end, uint8_t(0));
    return QString::fromStdString(Cp1251ToUtf8(std::string(begin, stop)));
}

// The text's bytes followed by one zero when shorter than the field; false with the message
// when a character has no Windows-1251 byte, the text is longer than the field, or it fills the
// field with "я" (0xFF), which would read back as an erased, empty field.
bool PutText(const QString& text, TGprsField which, TTextField field, uint8_t* block, QString& error)
{
    std::string bytes;
    // By code point: a character beyond the 16-bit range is one character, named whole.
    for (const char32_t code : text.toUcs4()) {
        const QString character = QString::fromUcs4(&code, 1);
        std::string one;
        if (QChar::isSurrogate(code) || !Utf8ToCp1251(character.toStdString(), one)) {
            error = QStringLiteral("Символ «%1» нельзя записать в модуль!").arg(character);
            return false;
        }
        bytes += one;
    }
    if (int(bytes.size()) > field.Size) {
        error = QStringLiteral("Значение не должно быть длиннее %1 символов!").arg(field.Size);
        return false;
    }
    if (int(bytes.size()) == field.Size &&
        std::all_of(bytes.begin(), bytes.end(), [](char b) { return uint8_t(b) == 0xFF; })) {
        error = QStringLiteral("Поле «%1», заполненное одними буквами «я», модуль примет за стёртое: "
                               "оно прочитается пустым. Измените значение!")
                    .arg(GprsFieldCaption(which));
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), block + field.Offset);
    if (int(bytes.size()) < field.Size)
        block[field.Offset + bytes.size()] = 0;
    return true;
}

bool Fail(TGprsField failed, const QString& message, TGprsField& field, QString& error)
{
    field = failed;
    error = message;
    return false;
}

}  // namespace

TGprsTexts DecodeGprsBlock(const uint8_t* block)
{
    TGprsTexts texts;
    for (int i = 0; i < kSerialDigits; ++i) {
        const uint8_t byte = block[kSerialOffset + i / 2];
        texts.SN += QChar(u'0' + (i % 2 == 0 ? byte >> 4 : byte & 0x0F));
    }
    texts.APN = FieldText(block, kAPN);
    texts.IP = QStringLiteral("%1.%2.%3.%4")
                   .arg(block[kIPOffset])
                   .arg(block[kIPOffset + 1])
                   .arg(block[kIPOffset + 2])
                   .arg(block[kIPOffset + 3]);
    texts.Port = QString::number(block[kPortOffset] << 8 | block[kPortOffset + 1]);
    texts.User = FieldText(block, kUser);
    texts.Password = FieldText(block, kPassword);
    texts.Server = FieldText(block, kServer);
    return texts;
}

bool PutGprsSerial(const QString& serial, uint8_t* block)
{
    const bool serialOk = serial.size() == kSerialDigits &&
                          std::all_of(serial.begin(), serial.end(),
                                      [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
    if (!serialOk)
        return false;
    for (int i = 0; i < kSerialDigits; i += 2)
        block[kSerialOffset + i / 2] = uint8_t((serial[i].unicode() - u'0') << 4 | (serial[i + 1].unicode() - u'0'));
    return true;
}

QString GprsSerialText(quint32 number)
{
    return QStringLiteral("%1").arg(number, kSerialDigits, 10, QLatin1Char('0'));
}

QString ShownGprsSerial(const QString& serial)
{
    return serial == QString(kSerialDigits, QLatin1Char('?')) ? QStringLiteral("нет номера") : serial;
}

bool EncodeGprsBlock(const TGprsTexts& texts, uint8_t* block, TGprsField& field, QString& error)
{
    std::fill(block, block + GprsBlockSize, uint8_t(0xFF));

    if (!PutGprsSerial(texts.SN, block))
        return Fail(TGprsField::SN,
                    QStringLiteral("Неверный формат серийного номера устройства. Номер должен состоять из 8 цифр!"),
                    field, error);

    if (texts.APN.isEmpty())
        return Fail(TGprsField::APN, QStringLiteral("Укажите точку доступа!"), field, error);
    if (!PutText(texts.APN, TGprsField::APN, kAPN, block, error))
        return Fail(TGprsField::APN, error, field, error);

    if (texts.IP.isEmpty())
        return Fail(TGprsField::IP, QStringLiteral("Укажите IP адрес!"), field, error);
    // Exactly four groups: a fifth would otherwise be dropped without a word.
    if (texts.IP.count(QLatin1Char('.')) != 3 || !TryTextToIP(texts.IP, block + kIPOffset))
        return Fail(TGprsField::IP, QStringLiteral("Неверный формат IP адреса!"), field, error);

    int port = 0;
    const QString portText = texts.Port.trimmed();
    if (portText.isEmpty() || !TryStrToInt(portText, port) || port < 0)
        return Fail(TGprsField::Port, QStringLiteral("Введите номер порта!"), field, error);
    if (port > kLargestPort)
        return Fail(TGprsField::Port, QStringLiteral("Номер порта должен быть меньше 65536!"), field, error);
    block[kPortOffset] = uint8_t(port >> 8);
    block[kPortOffset + 1] = uint8_t(port & 0xFF);

    if (!PutText(texts.User, TGprsField::User, kUser, block, error))
        return Fail(TGprsField::User, error, field, error);
    if (!PutText(texts.Password, TGprsField::Password, kPassword, block, error))
        return Fail(TGprsField::Password, error, field, error);

    if (texts.Server.isEmpty())
        return Fail(TGprsField::Server, QStringLiteral("Адрес запроса!"), field, error);
    if (!PutText(texts.Server, TGprsField::Server, kServer, block, error))
        return Fail(TGprsField::Server, error, field, error);
    return true;
}

namespace {

// Each field's caption on the page and its text in TGprsTexts.
struct TFieldInfo {
    TGprsField Field;
    const char* Caption;
    QString TGprsTexts::*Text;
};

const TFieldInfo kFieldInfo[] = {
    {TGprsField::SN, "Серийный номер устройства", &TGprsTexts::SN},
    {TGprsField::Server, "Запрос для мониторинга (без http://)", &TGprsTexts::Server},
    {TGprsField::APN, "Точка доступа (APN)", &TGprsTexts::APN},
    {TGprsField::IP, "IP адрес шлюза", &TGprsTexts::IP},
    {TGprsField::Port, "Номер порта", &TGprsTexts::Port},
    {TGprsField::User, "Имя пользователя", &TGprsTexts::User},
    {TGprsField::Password, "Пароль", &TGprsTexts::Password},
};

const TFieldInfo& Info(TGprsField field)
{
    return *std::find_if(std::begin(kFieldInfo), std::end(kFieldInfo),
                         [field](const TFieldInfo& info) { return info.Field == field; });
}

}  // namespace

QString GprsFieldCaption(TGprsField field)
{
    return QString::fromUtf8(Info(field).Caption);
}

const QString& GprsFieldText(const TGprsTexts& texts, TGprsField field)
{
    return texts.*Info(field).Text;
}
