#pragma once
#include <QString>

#include <cstdint>

#include "keys/Ow_keyutils.h"

// A key typed as the dialog takes it: a code of 8 hexadecimal bytes in display order (keyFormat;
// 16 digits with or without spaces, '-' or ':' between them) or a serial number up to 48 bits.
// Into `key` in display order; false with the message when the text is not a key (its length,
// all zeros, its CRC, the range).
bool CheckTypedKey(const QString& text, bool keyFormat, uint8_t key[KeyCodeSize], QString& error);
