#pragma once

#include <QString>

#include <cstdint>

#include "module/TextValues.h"

class QLineEdit;

// False when the trimmed text is empty or not an integer; `value` is left alone then.
bool GetEditInt(const QLineEdit* edit, int& value);
// TryTextToFloat on the edit's text.
bool GetEditFloat(const QLineEdit* edit, float& value);
// TryTextToIP on the edit's text.
bool GetEditIP(const QLineEdit* edit, uint8_t* bytes);
