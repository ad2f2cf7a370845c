#pragma once
#include <string>

// The module and the INI files hold text as Windows-1251 bytes; everything inside the program is
// UTF-8. These two functions are the only crossing between the two.

// Windows-1251 bytes to UTF-8. Every byte has a meaning (0x98, unassigned, maps to U+0098), so
// decoding never fails and a round trip gives the same bytes back.
std::string Cp1251ToUtf8(const std::string& bytes);

// UTF-8 to Windows-1251 bytes. Returns false, leaving out empty, when the text holds a character
// that Windows-1251 cannot represent or is not valid UTF-8: such text must be refused, not mangled.
bool Utf8ToCp1251(const std::string& utf8, std::string& out);
