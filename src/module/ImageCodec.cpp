#include "module/ImageCodec.h"

#include <QRegularExpression>

#include <algorithm>

#include "module/TextValues.h"

namespace {

constexpr int kTemperatureOffset = 40;
constexpr int kVoltageSteps = 16;       // the module counts sixteenths of a volt
constexpr int kOnTimeTenths = 10;       // codes below this are tenths of a second
constexpr int kOnTimeSecondsBias = 9;   // a code c from 10 up means c − 9 seconds
constexpr int kOnTimeMaxSeconds = 0xFFFF - kOnTimeSecondsBias;

QString RangeError(const QString& low, const QString& high)
{
    return QStringLiteral("Значение должно быть от %1 до %2!").arg(low, high);
}

QString FloatError(const QString& text)
{
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

// A whole number within [low, high], or the message that refuses the text.
bool ParseInteger(const QString& text, int low, int high, int& value, QString& error)
{
    if (!TryStrToInt(text.trimmed(), value)) {
        error = NotAnIntegerMessage(text);
        return false;
    }
    if (value < low || value > high) {
        error = RangeError(QString::number(low), QString::number(high));
        return false;
    }
    return true;
}

// A number that `inRange` accepts, or the message that refuses the text.
template <typename InRange>
bool ParseFloat(const QString& text, InRange inRange, const QString& low, const QString& high, float& value,
                QString& error)
{
    if (!TryTextToFloat(text, value)) {
        error = FloatError(text);
        return false;
    }
    if (!inRange(value)) {
        error = RangeError(low, high);
        return false;
    }
    return true;
}

// n / 8 tenths to one decimal, computed exactly. A tie rounds up: a typed tenth is stored
// truncated to sixteenths, and only then does every tenth from 0.0 to 15.9 read back as typed.
QString EighthsOfTenthText(int eighths)
{
    int tenths = eighths / 8;
    if (eighths % 8 >= 4)
        ++tenths;
    return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
}

QString VoltageText(uint8_t byte)
{
    // byte / 16 volts is byte × 5 / 8 tenths.
    return EighthsOfTenthText(byte * 5);
}

bool VoltageFromText(const QString& text, uint8_t& byte, QString& error)
{
    if (text.trimmed().isEmpty())
        return true;
    float volts = 0;
    const auto inRange = [](float v) { return v >= 0.0f && v < float(kVoltageSteps); };
    if (!ParseFloat(text, inRange, QStringLiteral("0.0"), QStringLiteral("15.9"), volts, error))
        return false;
    byte = static_cast<uint8_t>(volts * float(kVoltageSteps));
    return true;
}

QString ClockText(const uint8_t* bytes)
{
    return QStringLiteral("%1:%2").arg(bytes[0], 2, 10, QLatin1Char('0')).arg(bytes[1], 2, 10, QLatin1Char('0'));
}

bool ClockFromText(const QString& text, uint8_t* bytes, QString& error)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("([0-9]{1,2}):([0-9]{2})")));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    const int hour = match.hasMatch() ? match.captured(1).toInt() : -1;
    const int minute = match.hasMatch() ? match.captured(2).toInt() : -1;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) {
        error = QStringLiteral("Неверное время автопостановки! Укажите время в формате ЧЧ:ММ");
        return false;
    }
    bytes[0] = static_cast<uint8_t>(hour);
    bytes[1] = static_cast<uint8_t>(minute);
    return true;
}

QString OnTimeText(const uint8_t* bytes)
{
    const int code = bytes[0] << 8 | bytes[1];
    if (code < kOnTimeTenths)
        return QStringLiteral("0.%1").arg(code);
    return QString::number(code - kOnTimeSecondsBias);
}

bool OnTimeFromText(const QString& text, uint8_t* bytes, QString& error)
{
    if (text.trimmed().isEmpty())
        return true;
    float seconds = 0;
    const auto inRange = [](float v) { return v >= 0.0f && v <= float(kOnTimeMaxSeconds); };
    if (!ParseFloat(text, inRange, QStringLiteral("0"), QString::number(kOnTimeMaxSeconds), seconds, error))
        return false;
    // In 32-bit floats, as the module's own tool computes it: 0.7 gives 7, not 6.
    const float scaled = seconds < 1.0f ? seconds * float(kOnTimeTenths) : seconds + float(kOnTimeSecondsBias);
    const int code = static_cast<int>(scaled);
    bytes[0] = static_cast<uint8_t>(code >> 8);
    bytes[1] = static_cast<uint8_t>(code & 0xFF);
    return true;
}

constexpr int kPhoneBytes = 7;
constexpr int kPhoneDigits = 2 * kPhoneBytes;
constexpr int kPlusNibble = 10;
constexpr int kRightCount = 5;

QString RightsText(uint8_t byte)
{
    QString text;
    for (int bit = 0; bit < kRightCount; ++bit)
        text += (byte >> bit) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    return text;
}

bool RightsFromText(const QString& text, uint8_t& byte, QString& error)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("[01]{5}")));
    if (!pattern.match(text).hasMatch()) {
        error = QStringLiteral("Неверные уровни информирования: '%1'").arg(text);
        return false;
    }
    byte = 0;
    for (int bit = 0; bit < kRightCount; ++bit) {
        if (text[bit] == QLatin1Char('1'))
            byte |= uint8_t(1u << bit);
    }
    return true;
}

bool PhoneFromText(const QString& text, uint8_t* bytes, QString& error)
{
    if (!text.isEmpty() && CheckPhoneNumber(text).isEmpty()) {
        error = PhoneNumberError();
        return false;
    }
    EncodePhone(text, bytes);
    return true;
}

}  // namespace

QString DecodePhone(const uint8_t* bytes)
{
    QString text;
    for (int j = 0; j < kPhoneBytes; ++j) {
        const int high = bytes[j] >> 4;
        const int low = bytes[j] & 0x0F;
        if (high > kPlusNibble)
            break;
        text += high == kPlusNibble ? QLatin1Char('+') : QChar(u'0' + high);
        if (low > 9)
            break;
        text += QChar(u'0' + low);
    }
    return text;
}

void EncodePhone(const QString& text, uint8_t* bytes)
{
    std::fill(bytes, bytes + kPhoneBytes, uint8_t(0xFF));
    for (int i = 0; i < text.size() && i < kPhoneDigits; ++i) {
        const int value = text[i] == QLatin1Char('+') ? kPlusNibble : text[i].unicode() - u'0';
        uint8_t& byte = bytes[i / 2];
        byte = i % 2 == 0 ? uint8_t((value << 4) | (byte & 0x0F)) : uint8_t((byte & 0xF0) | value);
    }
}

QString PhoneNumberError()
{
    return QStringLiteral("Укажите номер в международном формате, например +380501234567!");
}

QString CheckPhoneNumber(const QString& text)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("\\+?[0-9]+")));
    if (text.isEmpty())
        return text;
    if (text.size() > kPhoneDigits || !pattern.match(text).hasMatch())
        return QString();
    return text;
}

int EncodingWidth(TEncoding encoding)
{
    if (encoding == TEncoding::Phone)
        return kPhoneBytes;
    return encoding == TEncoding::Clock || encoding == TEncoding::OnTime ? 2 : 1;
}

bool IsControlEncoding(TEncoding encoding)
{
    return encoding != TEncoding::Phone && encoding != TEncoding::Rights;
}

QString FieldToText(TEncoding encoding, const uint8_t* bytes)
{
    switch (encoding) {
    case TEncoding::Number:
        return QString::number(bytes[0]);
    case TEncoding::Temperature:
        return QString::number(int(bytes[0]) - kTemperatureOffset);
    case TEncoding::Voltage:
        return VoltageText(bytes[0]);
    case TEncoding::Clock:
        return ClockText(bytes);
    case TEncoding::OnTime:
        return OnTimeText(bytes);
    case TEncoding::Phone:
        return DecodePhone(bytes);
    case TEncoding::Rights:
        return RightsText(bytes[0]);
    case TEncoding::Flag:
    case TEncoding::ListPosition:
        break;
    }
    return QString();
}

bool TextToField(TEncoding encoding, const QString& text, uint8_t* bytes, QString& error)
{
    int value = 0;
    switch (encoding) {
    case TEncoding::Number:
        if (!ParseInteger(text, 0, 255, value, error))
            return false;
        bytes[0] = static_cast<uint8_t>(value);
        return true;
    case TEncoding::Temperature:
        if (!ParseInteger(text, -kTemperatureOffset, 255 - kTemperatureOffset, value, error))
            return false;
        bytes[0] = static_cast<uint8_t>(value + kTemperatureOffset);
        return true;
    case TEncoding::Voltage:
        return VoltageFromText(text, bytes[0], error);
    case TEncoding::Clock:
        return ClockFromText(text, bytes, error);
    case TEncoding::OnTime:
        return OnTimeFromText(text, bytes, error);
    case TEncoding::Phone:
        return PhoneFromText(text, bytes, error);
    case TEncoding::Rights:
        return RightsFromText(text, bytes[0], error);
    case TEncoding::Flag:
    case TEncoding::ListPosition:
        break;
    }
    error = QStringLiteral("Поле не хранится текстом");
    return false;
}

bool ByteToFlag(uint8_t byte) { return byte != 0; }

uint8_t FlagToByte(bool checked) { return checked ? 1 : 0; }

int ByteToListPosition(uint8_t byte, int firstCode, int itemCount)
{
    const int position = int(byte) - firstCode;
    return position >= 0 && position < itemCount ? position : -1;
}

uint8_t ListPositionToByte(int position, int firstCode) { return static_cast<uint8_t>(position + firstCode); }
