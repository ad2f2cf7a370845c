#include "link/UniversalProtocol.h"

#include <algorithm>
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
    FPort->SetTimeout(timeoutMs);
    if (FObserver)
        FPrevious = FLastSent;
    const int attempts = FAttempts != 0 ? FAttempts : 1;
    for (int attempt = 1;; ++attempt) {
        // Each attempt learns its own reply's length: the last one's length byte says nothing
        // of this one.
        FExpectedLength = replyLength == 0 ? MaxDataLength() : replyLength;
        if (FObserver)
            ReportLateBytes(timeoutMs);
        FPort->Purge();
        Send();
        if (FObserver) {
            FLastSent.assign(FPacket.begin(), FPacket.begin() + FPacketLength);
            TWireEvent sent;
            sent.Bytes = FPacket.data();
            sent.Length = FPacketLength;
            sent.TimeoutMs = timeoutMs;
            sent.Attempt = attempt;
            sent.Attempts = attempts;
            FObserver->OnWire(sent);
        }
        if (FExpectedLength == -1)
            return;
        try {
            BeforeReceive();
            Receive();
            AfterReceive();
            if (FObserver)
                ReportReply(TWireOutcome::None, timeoutMs, attempt);
            return;
        } catch (const EProtocol& e) {
            if (FObserver) {
                TWireOutcome outcome = TWireOutcome::TooLong;
                if (e.Code == kErrorCrc)
                    outcome = TWireOutcome::Crc;
                else if (e.Code == kErrorBadCommand)
                    outcome = TWireOutcome::OtherFunction;
                else if (e.Code == kErrorTimeout)
                    outcome = FDataLength == 0 ? TWireOutcome::Timeout : TWireOutcome::Incomplete;
                ReportReply(outcome, timeoutMs, attempt);
            }
            if (attempt >= attempts)
                throw;
        } catch (const TComPortException&) {
            if (FObserver)
                ReportReply(TWireOutcome::PortFailure, timeoutMs, attempt);
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

void TUniversalProtocol::ReportLateBytes(int timeoutMs)
{
    // Read rather than purged, so that the observer sees what is thrown away. The bytes are
    // waiting already: the read returns at once.
    const int unread = std::min(FPort->Unread(), MaxDataLength());
    if (unread <= 0)
        return;
    const int n = FPort->Read(FData.data(), unread);
    FDataLength = 0;
    if (n <= 0)
        return;
    TWireEvent late;
    late.ToModule = false;
    late.Bytes = FData.data();
    late.Length = n;
    late.Request = FPacket.data();
    late.RequestLength = FPacketLength;
    late.Previous = FPrevious.empty() ? nullptr : FPrevious.data();
    late.PreviousLength = static_cast<int>(FPrevious.size());
    late.Outcome = TWireOutcome::Late;
    late.TimeoutMs = timeoutMs;
    FObserver->OnWire(late);
}

void TUniversalProtocol::ReportReply(TWireOutcome outcome, int timeoutMs, int attempt)
{
    TWireEvent reply;
    reply.ToModule = false;
    reply.Bytes = FWire.data();
    reply.Length = static_cast<int>(FWire.size());
    reply.Request = FPacket.data();
    reply.RequestLength = FPacketLength;
    reply.Previous = FPrevious.empty() ? nullptr : FPrevious.data();
    reply.PreviousLength = static_cast<int>(FPrevious.size());
    reply.Outcome = outcome;
    // Whatever the frame hunt dropped before the frame it kept.
    reply.NoiseBytes = std::max(0, reply.Length - FDataLength);
    reply.TimeoutMs = timeoutMs;
    reply.Attempt = attempt;
    reply.Attempts = FAttempts != 0 ? FAttempts : 1;
    FObserver->OnWire(reply);
}

void TUniversalProtocol::Receive()
{
    FDataLength = 0;
    FWire.clear();
    int remaining = FExpectedLength;
    while (remaining > 0) {
        // Never ask for more than the buffer can still take, whatever the protocol expects.
        if (remaining > MaxDataLength() - FDataLength)
            RaiseOverflow();
        const int n = FPort->Read(FData.data() + FDataLength, remaining);
        if (FObserver && n > 0)
            FWire.insert(FWire.end(), FData.data() + FDataLength, FData.data() + FDataLength + n);
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
