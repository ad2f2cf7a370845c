#include "Kor_protocol1.h"

#include <cstring>

TKORProtocol1::TKORProtocol1(uint8_t startByte, TUniversalPort* port)
    : TUniversalProtocol(port, kKorBufferSize, kKorBufferSize), FStartByte(startByte)
{
}

uint16_t TKORProtocol1::CalcCRC(const uint8_t* bytes, int count)
{
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

bool TKORProtocol1::CheckCRC(const uint8_t* frame, int length)
{
    if (length < 2)
        return false;
    const uint16_t stored = static_cast<uint16_t>(frame[length - 2] | (frame[length - 1] << 8));
    return stored == CalcCRC(frame, length - 2);
}

void TKORProtocol1::ClearParams()
{
    FPacket[2] = 0;
}

void TKORProtocol1::AddParam(uint8_t value)
{
    AddParams(&value, 1);
}

void TKORProtocol1::AddParams(const void* bytes, int count)
{
    // Refused like an over-long BuildPacket, but before a byte lands past the buffer.
    const int used = FPacket[2];
    if (count < 0 || used + count > FMaxPacketLength - kKorFrameOverhead)
        throw EProtocol(kErrorIndexRange, "");
    if (count > 0)
        std::memcpy(FPacket + 3 + used, bytes, static_cast<size_t>(count));
    FPacket[2] = static_cast<uint8_t>(used + count);
}

void TKORProtocol1::BuildPacket(uint8_t function, const void* data, int length)
{
    if (length < 0 || length + kKorFrameOverhead > FMaxPacketLength)
        throw EProtocol(kErrorIndexRange, "");
    FPacket[0] = FStartByte;
    FPacket[1] = function;
    FPacket[2] = static_cast<uint8_t>(length);
    if (data && length != 0)
        std::memmove(FPacket + 3, data, static_cast<size_t>(length));
    const uint16_t crc = CalcCRC(FPacket, length + 3);
    FPacket[length + 3] = static_cast<uint8_t>(crc & 0xFF);
    FPacket[length + 4] = static_cast<uint8_t>(crc >> 8);
    FPacketLength = length + kKorFrameOverhead;
}

void TKORProtocol1::Request(uint8_t function, const void* data, int length, int replyLength, int timeoutMs)
{
    BuildPacket(function, data, length);
    Exchange(timeoutMs, replyLength);
}

void TKORProtocol1::BeforeReceive()
{
    FState = 0;
}

int TKORProtocol1::AddReceived(const uint8_t* bytes, int count)
{
    // The bytes sit at FData + FDataLength already; dropping noise compacts them in place,
    // since appending never gets ahead of the read position.
    if (count < 0 || FDataLength + count > FMaxDataLength)
        RaiseOverflow();
    for (int i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        switch (FState) {
        case 0:
            if (byte != FStartByte)
                continue;
            FState = 1;
            break;
        case 1:
            FState = 2;
            break;
        case 2:
            // A frame this long cannot be checked, and a longer one would not fit the buffer.
            if (byte > kKorMaxReplyData)
                RaiseOverflow();
            FState = 3;
            FExpectedLength = byte + kKorFrameOverhead;
            break;
        default:
            break;
        }
        FData[FDataLength++] = byte;
    }
    return FExpectedLength - FDataLength;
}

void TKORProtocol1::AfterReceive()
{
    if (!CheckCRC(FData, FDataLength & 0xFF))
        throw EProtocol(kErrorCrc, DumpMessage("CRC check failed"));
    if (FDataLength < 2 || FData[1] != FPacket[1])
        throw EProtocol(kErrorBadCommand, DumpMessage("Wrong function byte in reply"));
}
