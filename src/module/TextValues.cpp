#include "module/TextValues.h"

#include <QLocale>

#include <limits>

QString ClippedText(const QString& text)
{
    if (text.size() <= MessageTextLimit)
        return text;
    int kept = MessageTextLimit - 1;
    if (text[kept - 1].isHighSurrogate())  // never half a character
        --kept;
    return text.left(kept) + QChar(0x2026);
}

bool TryStrToInt(const QString& text, int& value)
{
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= text.size())
        return false;
    long long n = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        n = n * 10 + (c.unicode() - '0');
        if (n > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    if (negative)
        n = -n;
    if (n > std::numeric_limits<int>::max() || n < std::numeric_limits<int>::min())
        return false;
    value = static_cast<int>(n);
    return true;
}

QString NotAnIntegerMessage(const QString& text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(ClippedText(text));
}

int StrToInt(const QString& text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(NotAnIntegerMessage(text).toStdString());
    return value;
}

namespace {

bool IsAsciiDigit(QChar c) { return c.isDigit() && c.unicode() < 128; }

// Moves `i` past an optional sign.
void SkipSign(const QString& t, int& i)
{
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        ++i;
}

// Moves `i` past a run of digits and returns how many there were.
int SkipDigits(const QString& t, int& i)
{
    const int start = i;
    while (i < t.size() && IsAsciiDigit(t[i]))
        ++i;
    return i - start;
}

// Digits with at most one `separator`, then an optional exponent; nothing else.
bool TryStrToFloat(const QString& text, QChar separator, float& value)
{
    const QString t = text.trimmed();
    int i = 0;
    SkipSign(t, i);
    int digits = SkipDigits(t, i);
    if (i < t.size() && t[i] == separator) {
        ++i;
        digits += SkipDigits(t, i);
    }
    if (digits == 0)
        return false;
    if (i < t.size() && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        ++i;
        SkipSign(t, i);
        if (SkipDigits(t, i) == 0)
            return false;
    }
    if (i != t.size())
        return false;
    QString normal = t;
    normal.replace(separator, QLatin1Char('.'));
    bool ok = false;
    const double d = QLocale::c().toDouble(normal, &ok);
    if (!ok || d > std::numeric_limits<float>::max() || d < -std::numeric_limits<float>::max())
        return false;
    value = static_cast<float>(d);
    return true;
}

} // namespace

bool TryTextToFloat(const QString& text, float& value)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    return TryStrToFloat(t, QLatin1Char('.'), value) || TryStrToFloat(t, QLatin1Char(','), value);
}

bool TryTextToIP(const QString& text, uint8_t* bytes)
{
    if (!bytes)
        return false;
    if (text.size() < 7)
        return false;
    uint8_t result[4];
    int pos = 0;
    for (int group = 0; group < 4; ++group) {
        int end = text.indexOf(QLatin1Char('.'), pos);
        if (end < 0)
            end = text.size();
        const QString part = text.mid(pos, end - pos);
        if (part.isEmpty() || part.size() >= 4)
            return false;
        int n = 0;
        // A negative group is no address byte, whatever its digits.
        if (!TryStrToInt(part, n) || n < 0 || n >= 256)
            return false;
        result[group] = static_cast<uint8_t>(n);
        pos = end + 1;
    }
    for (int k = 0; k < 4; ++k)
        bytes[k] = result[k];
    return true;
}
