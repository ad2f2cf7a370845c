#include "UniversalProtocol.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "ComPort.h"
#include "Dnxstrutils.h"

namespace {

std::string FormatDump(const char* format, const uint8_t* bytes, int count)
{
    const std::string text = BytesToText(bytes, count, 10);
    std::string out(text.size() + 32, '\0');
    const int n = std::snprintf(&out[0], out.size(), format, count, text.c_str());
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

}  // namespace

TUniversalProtocol::TUniversalProtocol(TUniversalPort* port, int maxPacketLength, int maxDataLength)
    : FPort(port),
      FPacket(new uint8_t[maxPacketLength]()),
      FMaxPacketLength(maxPacketLength),
      FData(new uint8_t[maxDataLength]()),
      FMaxDataLength(maxDataLength)
{
}

TUniversalProtocol::~TUniversalProtocol()
{
    delete[] FPacket;
    delete[] FData;
}

void TUniversalProtocol::SetMaxPacketLength(int n)
{
    delete[] FPacket;
    FPacket = new uint8_t[n]();
    FMaxPacketLength = n;
    FPacketLength = 0;
}

void TUniversalProtocol::SetMaxDataLength(int n)
{
    delete[] FData;
    FData = new uint8_t[n]();
    FMaxDataLength = n;
    FDataLength = 0;
}

std::string TUniversalProtocol::DumpMessage(const std::string& reason) const
{
    return reason + "\n" + FormatDump("Packet[%i] = '%s'", FPacket, FPacketLength) + "\n" +
           FormatDump("Data[%i] = '%s'", FData, FDataLength);
}

void TUniversalProtocol::RaiseOverflow() const
{
    throw EProtocol(kErrorBufferOverflow, "MaxDataLength=" + std::to_string(FMaxDataLength));
}

void TUniversalProtocol::Exchange(int timeoutMs, int replyLength)
{
    if (!FPort)
        throw TComPortException("Can't write to closed port.", 6);
    FExpectedLength = replyLength == 0 ? FMaxDataLength : replyLength;
    FPort->SetTimeout(timeoutMs);
    uint8_t attemptsLeft = FAttempts != 0 ? FAttempts : 1;
    for (;;) {
        FPort->Purge();
        Send();
        if (FExpectedLength == -1)
            return;
        try {
            BeforeReceive();
            Receive();
            AfterReceive();
            return;
        } catch (const EProtocol&) {
            if (--attemptsLeft == 0)
                throw;
        }
        if (FRetryPause != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(FRetryPause));
    }
}

void TUniversalProtocol::Send()
{
    if (FPacketLength != 0)
        FPort->Write(FPacket, FPacketLength);
}

void TUniversalProtocol::Receive()
{
    FDataLength = 0;
    int remaining = FExpectedLength;
    while (remaining > 0) {
        // Never ask for more than the buffer can still take, whatever the protocol expects.
        if (remaining > FMaxDataLength - FDataLength)
            RaiseOverflow();
        const int n = FPort->Read(FData + FDataLength, remaining);
        if (n <= 0) {
            char reason[128];
            if (FDataLength == 0)
                std::snprintf(reason, sizeof reason, "Не обнаружен стартовый байт пакета");
            else
                std::snprintf(reason, sizeof reason, "Полученная длина (%i) не равна требуемой (%i)",
                              FDataLength, FExpectedLength);
            throw EProtocol(kErrorTimeout, DumpMessage(reason));
        }
        remaining = AddReceived(FData + FDataLength, n);
    }
}

int TUniversalProtocol::AddReceived(const uint8_t* bytes, int count)
{
    (void)bytes;
    if (FDataLength + count > FMaxDataLength)
        RaiseOverflow();
    FDataLength += count;
    return FExpectedLength - FDataLength;
}

uint8_t TUniversalProtocol::GetByte(int index) const
{
    if (index < 0 || index >= FDataLength)
        throw EProtocol(kErrorIndexRange, "GetByte: Index out of range, Index = " + std::to_string(index) +
                                              ", FDataLength = " + std::to_string(FDataLength));
    return FData[index];
}

void TUniversalProtocol::GetData(int position, void* destination, int count) const
{
    if (position < 0 || count < 0 || position + count > FDataLength)
        RaiseOverflow();
    if (count > 0)
        std::memcpy(destination, FData + position, static_cast<size_t>(count));
}
