#include "Params_kor_protocol.h"

namespace {
constexpr int kShortestReply = 5;  // seeds the receive: the length of an empty frame
}

int ReadParams(TKORProtocol1& protocol, uint16_t address, uint8_t count, void* destination, int timeoutMs)
{
    protocol.ClearParams();
    protocol.AddParam(static_cast<uint8_t>(address >> 8));
    protocol.AddParam(static_cast<uint8_t>(address & 0xFF));
    protocol.AddParam(count);
    protocol.Request(kFunctionReadParams, nullptr, 3, kShortestReply, timeoutMs);
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
    protocol.Request(kFunctionWriteParams, nullptr, static_cast<uint8_t>(count + 2), kShortestReply, timeoutMs);
}
