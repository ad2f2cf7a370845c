#pragma once
#include <cstdint>

#include "UniversalProtocol.h"

// The module's frame: start byte, function, data length L, L data bytes, CRC-16/MODBUS over all
// of that, low byte first.
constexpr int kKorFrameOverhead = 5;
constexpr int kKorBufferSize = 256;
constexpr int kKorMaxRequestData = kKorBufferSize - kKorFrameOverhead;  // 251
// The received length enters the CRC check as 8 bits, so a reply frame is at most 255 bytes.
constexpr int kKorMaxReplyData = 250;

class TKORProtocol1 : public TUniversalProtocol {
public:
    uint8_t FState = 0;  // 0 hunting for the start byte, 1 start seen, 2 function seen, 3 length seen
    uint8_t FStartByte;

    TKORProtocol1(uint8_t startByte, TUniversalPort* port);

    // Request data is gathered with these, then framed by BuildPacket with null data.
    void ClearParams();
    void AddParam(uint8_t value);
    void AddParams(const void* bytes, int count);
    void BuildPacket(uint8_t function, const void* data, int length);
    // BuildPacket, then one exchange expecting at least replyLength bytes.
    void Request(uint8_t function, const void* data, int length, int replyLength, int timeoutMs);

    // CRC-16/MODBUS over count bytes.
    static uint16_t CalcCRC(const uint8_t* bytes, int count);
    static bool CheckCRC(const uint8_t* frame, int length);

    int AddReceived(const uint8_t* bytes, int count) override;
    void BeforeReceive() override;
    void AfterReceive() override;
};
