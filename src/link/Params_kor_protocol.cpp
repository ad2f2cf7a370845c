#include "link/Params_kor_protocol.h"

int ReadParams(TKORProtocol1& protocol, uint16_t address, uint8_t count, void* destination, int timeoutMs)
{
    protocol.ClearParams();
    protocol.AddParam(static_cast<uint8_t>(address >> 8));
    protocol.AddParam(static_cast<uint8_t>(address & 0xFF));
    protocol.AddParam(count);
    protocol.Request(kKorFunctionRead, nullptr, 3, kKorShortestReply, timeoutMs);
    const int result = protocol.GetByte(2);
    // The module may send more than was asked; the destination holds only count bytes.
    if (destination)
        protocol.GetData(3, destination, result < count ? result : count);
    return result;
}

void WriteParams(TKORProtocol1& protocol, uint16_t address, const void* source, uint8_t count, int timeoutMs)
{
    protocol.ClearParams();
    protocol.AddParam(static_cast<uint8_t>(address >> 8));
    protocol.AddParam(static_cast<uint8_t>(address & 0xFF));
    protocol.AddParams(source, count);
    protocol.Request(kKorFunctionWrite, nullptr, static_cast<uint8_t>(count + 2), kKorShortestReply, timeoutMs);
}
