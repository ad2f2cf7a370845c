#include "util/Dnxstrutils.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

std::string BytesToText(const uint8_t* bytes, int count, int radix)
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (radix < 2 || radix > 36)
        radix = 10;
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += ' ';
        char reversed[8];
        int n = 0;
        unsigned value = bytes[i];
        do {
            reversed[n++] = digits[value % radix];
            value /= radix;
        } while (value != 0);
        while (n > 0)
            text += reversed[--n];
    }
    return text;
}

std::string BytesToTextFmt(const uint8_t* bytes, int count, const char* format)
{
    std::string text;
    char piece[64];
    for (int i = 0; i < count; ++i) {
        const int n = std::snprintf(piece, sizeof piece, format, static_cast<unsigned>(bytes[i]));
        if (n > 0)
            text.append(piece, static_cast<size_t>(n) < sizeof piece ? n : sizeof piece - 1);
    }
    return text;
}

namespace {

// strtol with the result clamped to 32 bits, as a 32-bit long would give it.
uint8_t ConvertByte(const char* from, const char** stop, int radix)
{
    char* end = nullptr;
    long long value = std::strtoll(from, &end, radix);
    if (value > INT32_MAX)
        value = INT32_MAX;
    else if (value < INT32_MIN)
        value = INT32_MIN;
    *stop = end;
    return static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

int TextToBytes(const std::string& text, uint8_t* buffer, int capacity, int radix, char separator)
{
    if (capacity <= 0 || buffer == nullptr)
        return 0;
    const char* tokenStart = text.c_str();
    const char* cursor = tokenStart;
    int count = 0;
    while (*cursor != '\0') {
        if (*cursor == separator) {
            if (*tokenStart != separator) {
                if (count == capacity)
                    break;
                buffer[count++] = ConvertByte(tokenStart, &cursor, radix);
            }
            while (*cursor == separator)
                ++cursor;
            tokenStart = cursor;
            if (*cursor == '\0')
                break;
        }
        ++cursor;
    }
    if (tokenStart != cursor && count < capacity) {
        const char* ignored = nullptr;
        buffer[count++] = ConvertByte(tokenStart, &ignored, radix);
    }
    return count;
}
