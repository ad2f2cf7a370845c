#pragma once
#include <cstdint>

// Placeholder until the framing protocol lands: only the CRC, which the simulator shares.
class TKORProtocol1 {
public:
    // CRC-16/MODBUS over count bytes.
    static uint16_t CalcCRC(const uint8_t* bytes, int count);
};
