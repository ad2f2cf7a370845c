#include "module/TypedKey.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

#include "keys/CRC.h"
#include "module/TextValues.h"
#include "util/Dnxstrutils.h"

namespace {

constexpr int64_t kLargestSerial = (int64_t(1) << 48) - 1;

// Up to 8 byte values of a code typed in hexadecimal; how many were read. Sixteen digits give
// the code two by two, whatever spaces, '-' or ':' stand between them ("4E00001234567801",
// "4E-00-00-12-34-56-78-01"); any other text is read in groups between spaces, as the dialog
// shows a code.
int ReadKeyBytes(const QString& text, uint8_t key[KeyCodeSize])
{
    static const QRegularExpression separators(QStringLiteral("[ :-]"));
    static const QRegularExpression digits(QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f]{16}")));
    const QString bare = QString(text).remove(separators);
    if (!digits.match(bare).hasMatch())
        return TextToBytes(text.toStdString(), key, KeyCodeSize, 16, ' ');
    const QByteArray bytes = QByteArray::fromHex(bare.toLatin1());
    std::copy(bytes.begin(), bytes.end(), key);
    return KeyCodeSize;
}

}  // namespace

bool CheckTypedKey(const QString& typed, bool keyFormat, uint8_t key[KeyCodeSize], QString& error)
{
    const QString text = typed.trimmed();
    std::fill(key, key + KeyCodeSize, uint8_t(0));
    if (!keyFormat) {
        static const QRegularExpression digits(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+")));
        if (!digits.match(text).hasMatch()) {
            error = NotAnIntegerMessage(text);
            return false;
        }
        bool fits = false;
        const qulonglong serial = text.toULongLong(&fits);
        if (!fits || serial > qulonglong(kLargestSerial)) {
            error = QStringLiteral("Серийный номер должен быть не больше 281474976710655!");
            return false;
        }
        MakeKeyCode(int64_t(serial), key, true);
    } else if (ReadKeyBytes(text, key) != KeyCodeSize) {
        error = QStringLiteral("Длина ключа должна быть 8 байт!");
        return false;
    }
    if (KeySerialIsAll(key, 0)) {
        error = QStringLiteral("Ключ не может состоять из одних нулей!");
        return false;
    }
    uint8_t rom[KeyCodeSize];
    std::memcpy(rom, key, KeyCodeSize);
    ReverseKeyCode(rom);
    if (Crc8(rom, KeyCodeSize) != 0) {
        error = QStringLiteral("Ошибка CRC! Проверте правильность ввода ключа!");
        return false;
    }
    return true;
}
