#pragma once
#include <cstdint>

// The 1-Wire CRC-8 (CRC-8/MAXIM-DOW: reflected polynomial 0x8C, initial 0, no final XOR) of
// length bytes; 0 for length 0 or less. A ROM-order key code whose last byte is the CRC of the
// first seven has a CRC of 0 over all eight.
uint8_t Crc8(const uint8_t* data, int length);
