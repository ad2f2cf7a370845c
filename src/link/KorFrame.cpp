#include "link/KorFrame.h"

#include <algorithm>

uint16_t KorCrc(const uint8_t* bytes, int count)
{
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

bool KorCrcGood(const uint8_t* frame, int length)
{
    if (length < 2)
        return false;
    const uint16_t stored = static_cast<uint16_t>(frame[length - 2] | (frame[length - 1] << 8));
    return stored == KorCrc(frame, length - 2);
}

void KorSeal(uint8_t* frame, uint8_t startByte, uint8_t function, int length)
{
    frame[0] = startByte;
    frame[1] = function;
    frame[2] = static_cast<uint8_t>(length);
    const uint16_t crc = KorCrc(frame, length + 3);
    frame[length + 3] = static_cast<uint8_t>(crc & 0xFF);
    frame[length + 4] = static_cast<uint8_t>(crc >> 8);
}

std::vector<uint8_t> KorFrame(uint8_t function, const std::vector<uint8_t>& data, uint8_t startByte)
{
    std::vector<uint8_t> frame(data.size() + kKorFrameOverhead);
    std::copy(data.begin(), data.end(), frame.begin() + 3);
    KorSeal(frame.data(), startByte, function, static_cast<int>(data.size()));
    return frame;
}
