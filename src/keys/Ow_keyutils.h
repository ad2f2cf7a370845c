#pragma once
#include <cstdint>
#include <string>

// 1-Wire key codes: 8 bytes, family code, six serial bytes (least significant first) and the
// CRC-8 in ROM order, as the reader delivers them; display order, as the operator reads and
// types them, is the same bytes reversed. Serial numbers are 48-bit values held in an int64.

constexpr int KeyCodeSize = 8;
constexpr uint8_t KeyFamilyCode = 0x01;

// A key as the module keeps it in one of its 8-byte slots.
struct TKeyRecord {
    uint8_t Serial[6];  // least significant byte first
    uint8_t Crc;        // CRC-8 of the ROM-order code with family 0x01 and these serial bytes
    uint8_t Param;      // index of the key's rights
};
static_assert(sizeof(TKeyRecord) == 8, "a key record fills one 8-byte slot of the module");

// The code of family 0x01 for the serial (bits above the 48th dropped, a negative serial taken
// as its two's complement), in ROM order or, with reversed set, in display order.
void MakeKeyCode(int64_t serial, uint8_t code[KeyCodeSize], bool reversed);

// That code as "XX XX XX XX XX XX XX XX" (upper-case hexadecimal, single spaces).
std::string KeyCodeText(int64_t serial, bool reversed);

// The serial number of a code typed as hexadecimal groups separated by spaces, in display
// order when reversed is set. 0 when the text does not give 8 byte values. The family code and
// the CRC are not checked here.
int64_t KeyTextToSerial(const std::string& text, bool reversed);

// True when the six serial bytes (bytes 1 to 6) all equal value.
bool KeySerialIsAll(const uint8_t code[KeyCodeSize], uint8_t value);

// ROM order to display order and back, in place.
void ReverseKeyCode(uint8_t code[KeyCodeSize]);

// The record's serial number.
int64_t KeyRecordSerial(const TKeyRecord& record);

// The record the module keeps for the serial number: family 0x01's CRC, then the parameter.
TKeyRecord MakeKeyRecord(int64_t serial, uint8_t param);
