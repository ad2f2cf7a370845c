#pragma once
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "link/UniversalPort.h"
#include "link/WireObserver.h"

// A protocol error of the device link. The codes follow the system error numbers the module's
// tools have always reported.
class EProtocol : public std::exception {
public:
    int Code;
    std::string Message;

    EProtocol(int code, std::string message) : Code(code), Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
};

constexpr int kErrorIndexRange = 0;       // GetByte out of range; request too long
constexpr int kErrorBadCommand = 22;      // the reply does not echo the function
constexpr int kErrorCrc = 23;             // the reply's CRC is wrong
constexpr int kErrorBufferOverflow = 111; // more bytes than the buffer holds
constexpr int kErrorTimeout = 1460;       // the reply did not come, or not whole

// Request/reply engine: purges the line, sends the packet, collects the reply until the derived
// protocol says it is complete, and retries on protocol errors.
class TUniversalProtocol {
public:
    TUniversalProtocol(TUniversalPort* port, int maxPacketLength, int maxDataLength);
    virtual ~TUniversalProtocol() = default;
    TUniversalProtocol(const TUniversalProtocol&) = delete;
    TUniversalProtocol& operator=(const TUniversalProtocol&) = delete;

    TUniversalPort* Port() const { return FPort; }
    void SetPort(TUniversalPort* port) { FPort = port; }  // not owned
    uint8_t Attempts() const { return FAttempts; }
    void SetAttempts(uint8_t attempts) { FAttempts = attempts; }  // 0 counts as 1
    void SetRetryPause(int ms) { FRetryPause = ms; }  // before each further attempt; 0 = none
    // Told of every frame sent and every reply or late byte received; null = no one (not owned).
    void SetObserver(TWireObserver* observer) { FObserver = observer; }

    void SetMaxPacketLength(int n);
    void SetMaxDataLength(int n);

    // One exchange with the packet built last. replyLength 0 = the whole buffer, -1 = send only.
    // Raises EProtocol when the attempts are used up; port failures pass through at once.
    void Exchange(int timeoutMs, int replyLength);

    // The packet as sent and the reply as received.
    const uint8_t* Packet() const { return FPacket.data(); }
    int PacketLength() const { return FPacketLength; }
    const uint8_t* Data() const { return FData.data(); }
    int DataLength() const { return FDataLength; }
    uint8_t GetByte(int index) const;
    void GetData(int position, void* destination, int count) const;

protected:
    // Accounts for count bytes that Read has just put at the end of the reply; returns how many
    // bytes are still expected.
    virtual int AddReceived(const uint8_t* bytes, int count);
    virtual void BeforeReceive() {}
    virtual void AfterReceive() {}

    // For the framing above: the packet buffer to build in, and the reply as it grows.
    uint8_t* PacketBuffer() { return FPacket.data(); }
    int MaxPacketLength() const { return static_cast<int>(FPacket.size()); }
    void SetPacketLength(int n) { FPacketLength = n; }
    int MaxDataLength() const { return static_cast<int>(FData.size()); }
    int ExpectedLength() const { return FExpectedLength; }
    void SetExpectedLength(int n) { FExpectedLength = n; }
    // Keeps one byte at the end of the reply; the caller has checked the room.
    void KeepByte(uint8_t byte) { FData[FDataLength++] = byte; }

    // "reason\nPacket[n] = '...'\nData[n] = '...'": what was sent and what came back.
    std::string DumpMessage(const std::string& reason) const;
    [[noreturn]] void RaiseOverflow() const;

private:
    void Send();
    void Receive();
    void ReportLateBytes(int timeoutMs);
    void ReportReply(TWireOutcome outcome, int timeoutMs, int attempt);

    TUniversalPort* FPort;
    std::vector<uint8_t> FPacket;
    int FPacketLength = 0;
    std::vector<uint8_t> FData;
    int FDataLength = 0;
    uint8_t FAttempts = 1;
    int FRetryPause = 10;
    int FExpectedLength = 0;  // bytes the current attempt's reply must reach; -1 = no reply
    TWireObserver* FObserver = nullptr;
    std::vector<uint8_t> FWire;  // the reply's bytes as read, noise included, while observed
    // While observed: the frame sent last, and the request of the exchange before this one.
    std::vector<uint8_t> FLastSent;
    std::vector<uint8_t> FPrevious;
};
