#pragma once
#include <QString>

#include <cstdint>
#include <stdexcept>

// Texts typed by the installer or read from files, as numbers and as parts of messages.

// A text from the installer or from a file, as it goes into a message: at most MessageTextLimit
// characters, a longer one cut with "…" (a huge one would stall the dialog while it wraps).
constexpr int MessageTextLimit = 200;
QString ClippedText(const QString& text);

// Raised by StrToInt with the text "'<text>' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "'<text>' is not a valid integer value": the message of every refused integer text.
QString NotAnIntegerMessage(const QString& text);

// Strict decimal integer: an optional sign and digits only, no blanks, within 32 bits.
bool TryStrToInt(const QString& text, int& value);
int StrToInt(const QString& text);

// A decimal number with "." or "," as its separator, blanks around it allowed; the process
// locale plays no part. False for an empty text or one that is not such a number.
bool TryTextToFloat(const QString& text, float& value);
// Reads a dotted IPv4 address into bytes[0..3]; text after the fourth group is ignored.
// The bytes are written only when the whole address is valid.
bool TryTextToIP(const QString& text, uint8_t* bytes);
