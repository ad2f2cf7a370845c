#pragma once
#include <cstdint>
#include <exception>
#include <string>

#include "UniversalPort.h"

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
    TUniversalPort* FPort;  // not owned
    uint8_t* FPacket;
    int FPacketLength = 0;
    int FMaxPacketLength;
    uint8_t* FData;
    int FDataLength = 0;
    int FMaxDataLength;
    uint8_t FAttempts = 1;       // at least 1
    int FRetryPause = 10;        // ms before each further attempt; 0 = none
    int FExpectedLength = 0;     // bytes the current reply must reach; -1 = no reply

    TUniversalProtocol(TUniversalPort* port, int maxPacketLength, int maxDataLength);
    virtual ~TUniversalProtocol();
    TUniversalProtocol(const TUniversalProtocol&) = delete;
    TUniversalProtocol& operator=(const TUniversalProtocol&) = delete;

    void SetMaxPacketLength(int n);
    void SetMaxDataLength(int n);

    // One exchange with the packet in FPacket. replyLength 0 = FMaxDataLength, -1 = send only.
    // Raises EProtocol when the attempts are used up; port failures pass through at once.
    void Exchange(int timeoutMs, int replyLength);

    uint8_t GetByte(int index) const;
    void GetData(int position, void* destination, int count) const;

    // Accounts for count bytes that Read has just put at FData + FDataLength; returns how many
    // bytes are still expected.
    virtual int AddReceived(const uint8_t* bytes, int count);
    virtual void BeforeReceive() {}
    virtual void AfterReceive() {}

    void Send();
    void Receive();

protected:
    // "reason\nPacket[n] = '...'\nData[n] = '...'": what was sent and what came back.
    std::string DumpMessage(const std::string& reason) const;
    [[noreturn]] void RaiseOverflow() const;
};
