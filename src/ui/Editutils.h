#pragma once

#include <QString>

#include <cstdint>
#include <stdexcept>

class QLineEdit;

// Raised by StrToInt with the text "'<text>' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Strict decimal integer: an optional sign and digits only, no blanks, within 32 bits.
bool TryStrToInt(const QString& text, int& value);
int StrToInt(const QString& text);

// False when the trimmed text is empty or not an integer; `value` is left alone then.
bool GetEditInt(const QLineEdit* edit, int& value);
// Accepts "." or "," as the decimal separator; the process locale is not touched.
bool GetEditFloat(const QLineEdit* edit, float& value);
// Reads a dotted IPv4 address into bytes[0..3]; text after the fourth group is ignored.
// The bytes are written only when the whole address is valid.
bool GetEditIP(const QLineEdit* edit, uint8_t* bytes);
