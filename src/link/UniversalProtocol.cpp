#include "link/UniversalProtocol.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "link/ComPort.h"
#include "util/Dnxstrutils.h"

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
    : FPort(port), FPacket(static_cast<size_t>(maxPacketLength)), FData(static_cast<size_t>(maxDataLength))
{
}

void TUniversalProtocol::SetMaxPacketLength(int n)
{
    FPacket.assign(static_cast<size_t>(n), 0);
    FPacketLength = 0;
}

void TUniversalProtocol::SetMaxDataLength(int n)
{
    FData.assign(static_cast<size_t>(n), 0);
    FDataLength = 0;
}

std::string TUniversalProtocol::DumpMessage(const std::string& reason) const
{
    return reason + "\n" + FormatDump("Packet[%i] = '%s'", FPacket.data(), FPacketLength) + "\n" +
           FormatDump("Data[%i] = '%s'", FData.data(), FDataLength);
}

void TUniversalProtocol::RaiseOverflow() const
{
    throw EProtocol(kErrorBufferOverflow, "MaxDataLength=" + std::to_string(FData.size()));
}

void TUniversalProtocol::Exchange(int timeoutMs, int replyLength)
{
    if (!FPort)
        throw TComPortException(kClosedPortText, kErrorClosedPort);
    FExpectedLength = replyLength == 0 ? MaxDataLength() : replyLength;
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
        FPort->Write(FPacket.data(), FPacketLength);
}

void TUniversalProtocol::Receive()
{
    FDataLength = 0;
    int remaining = FExpectedLength;
    while (remaining > 0) {
        // Never ask for more than the buffer can still take, whatever the protocol expects.
        if (remaining > MaxDataLength() - FDataLength)
            RaiseOverflow();
        const int n = FPort->Read(FData.data() + FDataLength, remaining);
        if (n <= 0) {
            char reason[128];
            if (FDataLength == 0)
                std::snprintf(reason, sizeof reason, "Не обнаружен стартовый байт пакета");
            else
                std::snprintf(reason, sizeof reason, "Полученная длина (%i) не равна требуемой (%i)",
                              FDataLength, FExpectedLength);
            throw EProtocol(kErrorTimeout, DumpMessage(reason));
        }
        remaining = AddReceived(FData.data() + FDataLength, n);
    }
}

int TUniversalProtocol::AddReceived(const uint8_t* bytes, int count)
{
    (void)bytes;
    if (count < 0 || FDataLength + count > MaxDataLength())
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
        std::memcpy(destination, FData.data() + position, static_cast<size_t>(count));
}
