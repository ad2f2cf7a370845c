#include "catalogue/CatalogueTerms.h"

#include <QRegularExpression>

#include <algorithm>

#include "keys/Ow_keyutils.h"
#include "module/GprsBlock.h"
#include "module/ImageCodec.h"
#include "module/ImageFields.h"

namespace {

constexpr int kSerialDigits = 8;
constexpr int kCodeDigits = 2 * KeyCodeSize;
// The largest key serial number: six bytes.
constexpr qint64 kLargestKeySerial = (qint64(1) << 48) - 1;

bool AllOf(const QString& text, bool (*test)(QChar))
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), test);
}

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool IsHexDigit(QChar c)
{
    return IsDigit(c) || (c.toUpper() >= QLatin1Char('A') && c.toUpper() <= QLatin1Char('F'));
}

}  // namespace

bool IsModuleSerial(const QString& text)
{
    return text.size() == kSerialDigits && AllOf(text, IsDigit);
}

QString CopySerial(const TModuleCopy& copy)
{
    if (!copy.Gprs)
        return {};
    const QString serial = DecodeGprsBlock(copy.Gprs->data()).SN;
    return IsModuleSerial(serial) ? serial : QString();
}

QStringList CopyPhones(const TModuleCopy& copy)
{
    QStringList phones;
    if (!copy.Settings)
        return phones;
    for (const TImageField& field : ImageFields()) {
        if (field.Encoding != TEncoding::Phone)
            continue;
        QString digits = DecodePhone(copy.Settings->data() + field.Address);
        digits.remove(QLatin1Char('+'));
        if (!digits.isEmpty() && !phones.contains(digits))
            phones << digits;
    }
    return phones;
}

QList<TKeyTerm> CopyKeys(const TModuleCopy& copy)
{
    QList<TKeyTerm> keys;
    if (!copy.Keys)
        return keys;
    for (const TKeyRecord& record : StoredKeys(*copy.Keys)) {
        const qint64 serial = KeyRecordSerial(record);
        if (std::any_of(keys.begin(), keys.end(), [serial](const TKeyTerm& key) { return key.Serial == serial; }))
            continue;
        keys << TKeyTerm{serial, QString::fromStdString(KeyCodeText(serial, true)).remove(QLatin1Char(' '))};
    }
    return keys;
}

QString SiteKey(const QString& site)
{
    return site.simplified().toCaseFolded();
}

TSearchText ParseSearchText(const QString& typed)
{
    TSearchText search;
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return search;
    search.SiteText = SiteKey(text);
    if (AllOf(text, IsDigit)) {
        if (text.size() <= kSerialDigits)
            search.SerialPrefix = text;
        bool ok = false;
        const qint64 serial = text.toLongLong(&ok);
        if (ok && serial <= kLargestKeySerial)
            search.KeySerial = serial;
    }
    // A phone as people write it: "+7 (916) 123-45-67".
    static const QRegularExpression phone(QRegularExpression::anchoredPattern(QStringLiteral("[+]?[0-9 ()-]*[0-9][0-9 ()-]*")));
    if (phone.match(text).hasMatch()) {
        for (const QChar c : text)
            if (IsDigit(c))
                search.PhoneDigits += c;
    }
    QString code = text;
    code.remove(QLatin1Char(' '));
    if (code.size() <= kCodeDigits && AllOf(code, IsHexDigit))
        search.CodePrefix = code.toUpper();
    return search;
}

QString PrefixEnd(const QString& prefix)
{
    QString end = prefix;
    end[end.size() - 1] = QChar(end.back().unicode() + 1);
    return end;
}
