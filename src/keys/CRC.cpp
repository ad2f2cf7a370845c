#include "keys/CRC.h"

#include <array>
#include <cstddef>

namespace {

constexpr std::array<uint8_t, 256> MakeTable()
{
    std::array<uint8_t, 256> table{};
    for (int value = 0; value < 256; ++value) {
        uint8_t crc = static_cast<uint8_t>(value);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint8_t>((crc >> 1) ^ 0x8C) : static_cast<uint8_t>(crc >> 1);
        table[static_cast<std::size_t>(value)] = crc;
    }
    return table;
}

constexpr std::array<uint8_t, 256> kTable = MakeTable();

}  // namespace

uint8_t Crc8(const uint8_t* data, int length)
{
    uint8_t crc = 0;
    for (int i = 0; i < length; ++i)
        crc = kTable[crc ^ data[i]];
    return crc;
}
