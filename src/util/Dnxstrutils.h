#pragma once
#include <cstdint>
#include <string>

// Each byte as an unsigned number in the radix (lowercase digits, no leading zeros), separated
// by single spaces. Used in the device link's error texts and for key codes.
std::string BytesToText(const uint8_t* bytes, int count, int radix);

// Each byte formatted with a printf-style format taking an unsigned int, concatenated.
std::string BytesToTextFmt(const uint8_t* bytes, int count, const char* format);

// Parses numbers separated by the separator character into bytes (low 8 bits of each number,
// converted like strtol in the radix) and returns how many were stored, at most capacity.
// A token holding a character that is not a digit of the radix stops the scan there, and the
// rest of the buffer fills with zeros: callers that need a fixed count rely on this.
int TextToBytes(const std::string& text, uint8_t* buffer, int capacity, int radix, char separator);
