#include "keys/Ow_keyutils.h"

#include <algorithm>

#include "keys/CRC.h"
#include "util/Dnxstrutils.h"

void MakeKeyCode(int64_t serial, uint8_t code[KeyCodeSize], bool reversed)
{
    std::fill(code, code + KeyCodeSize, 0);
    // Shifting the unsigned image gives the same six low bytes as an arithmetic shift, without
    // relying on how the compiler shifts negative values.
    uint64_t bits = static_cast<uint64_t>(serial);
    for (int i = 0; i < 6 && bits != 0; ++i) {
        code[1 + i] = static_cast<uint8_t>(bits & 0xFF);
        bits >>= 8;
    }
    code[0] = KeyFamilyCode;
    code[7] = Crc8(code, 7);
    if (reversed)
        ReverseKeyCode(code);
}

std::string KeyCodeText(int64_t serial, bool reversed)
{
    uint8_t code[KeyCodeSize];
    MakeKeyCode(serial, code, reversed);
    std::string text = BytesToTextFmt(code, KeyCodeSize, "%0.2X ");
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

int64_t KeyTextToSerial(const std::string& text, bool reversed)
{
    uint8_t code[KeyCodeSize] = {};
    if (TextToBytes(text, code, KeyCodeSize, 16, ' ') != KeyCodeSize)
        return 0;
    if (reversed)
        ReverseKeyCode(code);
    int64_t serial = 0;
    for (int i = 6; i >= 1; --i)
        serial = (serial << 8) | code[i];
    return serial;
}

bool KeySerialIsAll(const uint8_t code[KeyCodeSize], uint8_t value)
{
    return std::all_of(code + 1, code + 7, [value](uint8_t b) { return b == value; });
}

void ReverseKeyCode(uint8_t code[KeyCodeSize])
{
    std::reverse(code, code + KeyCodeSize);
}

int64_t KeyRecordSerial(const TKeyRecord& record)
{
    int64_t serial = 0;
    for (int i = 5; i >= 0; --i)
        serial = serial << 8 | record.Serial[i];
    return serial;
}

TKeyRecord MakeKeyRecord(int64_t serial, uint8_t param)
{
    uint8_t code[KeyCodeSize];
    MakeKeyCode(serial, code, false);
    TKeyRecord record;
    std::copy(code + 1, code + 1 + sizeof record.Serial, record.Serial);
    record.Crc = code[KeyCodeSize - 1];
    record.Param = param;
    return record;
}
