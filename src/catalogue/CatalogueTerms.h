#pragma once
// What the catalogue knows a module by and finds it by, taken from a copy of it, and what a
// typed search text can be.
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "module/ModuleCopy.h"

// The eight digits of the GPRS block's serial number; empty when the copy holds no GPRS block or
// its number is erased or not digits.
QString CopySerial(const TModuleCopy& copy);
bool IsModuleSerial(const QString& text);

struct TKeyTerm {
    qint64 Serial = 0;
    QString Code;  // 16 hexadecimal digits, upper case, in display order
};

// The subscribers' phone numbers as digits (no "+"), and the keys, each once.
QStringList CopyPhones(const TModuleCopy& copy);
QList<TKeyTerm> CopyKeys(const TModuleCopy& copy);

// A site as it is compared: folded to lower case.
QString SiteKey(const QString& site);

// What a search text may be looked for as; an empty field is not looked for.
struct TSearchText {
    QString SerialPrefix;  // 1 to 8 digits
    QString SiteText;      // folded
    QString PhoneDigits;   // the digits of a text that reads as a phone number
    std::optional<qint64> KeySerial;
    QString CodePrefix;    // 1 to 16 hexadecimal digits, upper case
};
TSearchText ParseSearchText(const QString& text);

// The smallest text above every text that begins with `prefix`, for a range over an index: the
// prefixes are digits or hexadecimal letters, so the next character after the last is enough.
QString PrefixEnd(const QString& prefix);
