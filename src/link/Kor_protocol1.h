#pragma once
#include <cstdint>

#include "link/KorFrame.h"
#include "link/UniversalProtocol.h"

constexpr int kKorBufferSize = 256;
constexpr int kKorMaxRequestData = kKorBufferSize - kKorFrameOverhead;  // 251
// The received length enters the CRC check as 8 bits, so a reply frame is at most 255 bytes.
constexpr int kKorMaxReplyData = 250;

class TKORProtocol1 : public TUniversalProtocol {
public:
    TKORProtocol1(uint8_t startByte, TUniversalPort* port);

    // Request data is gathered with these, then framed by BuildPacket with null data.
    void ClearParams();
    void AddParam(uint8_t value);
    void AddParams(const void* bytes, int count);
    void BuildPacket(uint8_t function, const void* data, int length);
    // BuildPacket, then one exchange expecting at least replyLength bytes.
    void Request(uint8_t function, const void* data, int length, int replyLength, int timeoutMs);

protected:
    int AddReceived(const uint8_t* bytes, int count) override;
    void BeforeReceive() override;
    void AfterReceive() override;

private:
    enum class TReceiveStep : uint8_t { Hunting, StartSeen, FunctionSeen, LengthSeen };

    TReceiveStep FState = TReceiveStep::Hunting;
    uint8_t FStartByte;
};
