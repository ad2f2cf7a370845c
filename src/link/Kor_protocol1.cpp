#include "link/Kor_protocol1.h"

#include <cstring>

TKORProtocol1::TKORProtocol1(uint8_t startByte, TUniversalPort* port)
    : TUniversalProtocol(port, kKorBufferSize, kKorBufferSize), FStartByte(startByte)
{
}

void TKORProtocol1::ClearParams()
{
    PacketBuffer()[2] = 0;
}

void TKORProtocol1::AddParam(uint8_t value)
{
    AddParams(&value, 1);
}

void TKORProtocol1::AddParams(const void* bytes, int count)
{
    // Refused like an over-long BuildPacket, but before a byte lands past the buffer.
    uint8_t* packet = PacketBuffer();
    const int used = packet[2];
    if (count < 0 || used + count > MaxPacketLength() - kKorFrameOverhead)
        throw EProtocol(kErrorIndexRange, "");
    if (count > 0)
        std::memcpy(packet + 3 + used, bytes, static_cast<size_t>(count));
    packet[2] = static_cast<uint8_t>(used + count);
}

void TKORProtocol1::BuildPacket(uint8_t function, const void* data, int length)
{
    if (length < 0 || length + kKorFrameOverhead > MaxPacketLength())
        throw EProtocol(kErrorIndexRange, "");
    if (data && length != 0)
        std::memmove(PacketBuffer() + 3, data, static_cast<size_t>(length));
    KorSeal(PacketBuffer(), FStartByte, function, length);
    SetPacketLength(length + kKorFrameOverhead);
}

void TKORProtocol1::Request(uint8_t function, const void* data, int length, int replyLength, int timeoutMs)
{
    BuildPacket(function, data, length);
    Exchange(timeoutMs, replyLength);
}

void TKORProtocol1::BeforeReceive()
{
    FState = TReceiveStep::Hunting;
}

int TKORProtocol1::AddReceived(const uint8_t* bytes, int count)
{
    // The bytes sit at the end of the reply already; dropping noise compacts them in place,
    // since keeping a byte never gets ahead of the read position.
    if (count < 0 || DataLength() + count > MaxDataLength())
        RaiseOverflow();
    for (int i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        switch (FState) {
        case TReceiveStep::Hunting:
            if (byte != FStartByte)
                continue;
            FState = TReceiveStep::StartSeen;
            break;
        case TReceiveStep::StartSeen:
            FState = TReceiveStep::FunctionSeen;
            break;
        case TReceiveStep::FunctionSeen:
            // A frame this long cannot be checked, and a longer one would not fit the buffer.
            if (byte > kKorMaxReplyData)
                RaiseOverflow();
            FState = TReceiveStep::LengthSeen;
            SetExpectedLength(byte + kKorFrameOverhead);
            break;
        case TReceiveStep::LengthSeen:
            break;
        }
        KeepByte(byte);
    }
    return ExpectedLength() - DataLength();
}

void TKORProtocol1::AfterReceive()
{
    // More bytes than the length byte gives (a read asked for more than one frame) would put the
    // CRC check at the wrong place, where two zeros after a good frame pass it.
    if (DataLength() < kKorFrameOverhead || DataLength() != Data()[2] + kKorFrameOverhead)
        throw EProtocol(kErrorCrc, DumpMessage("Frame length does not match its length byte"));
    if (!KorCrcGood(Data(), DataLength() & 0xFF))
        throw EProtocol(kErrorCrc, DumpMessage("CRC check failed"));
    if (DataLength() < 2 || Data()[1] != Packet()[1])
        throw EProtocol(kErrorBadCommand, DumpMessage("Wrong function byte in reply"));
}
