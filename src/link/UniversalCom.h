#pragma once
#include "link/ComPort.h"
#include "link/UniversalPort.h"

// The byte port over a serial line: owns its TComPort and fixes how an exchange uses the read
// timeouts and throws stale input away.
class TUniversalCom : public TUniversalPort {
public:
    explicit TUniversalCom(TComPort* comPort) : FComPort(comPort) {}
    ~TUniversalCom() override;
    TUniversalCom(const TUniversalCom&) = delete;
    TUniversalCom& operator=(const TUniversalCom&) = delete;

    bool Write(const void* buffer, int count) override;
    int Read(void* buffer, int count) override;
    // Each read then returns at once with what has arrived, or waits up to ms for the first byte.
    bool SetTimeout(int ms) override;
    void Purge() override;
    int Unread() override;
    std::string GetName() override;
    void SetName(const std::string& name) override;
    bool IsOpen() override;
    void Close() override;
    // Closes the port if open and opens it again under its current name.
    void Open() override;
    TComPort* GetComPort() override { return FComPort; }
    bool IsReady() override { return IsOpen(); }
    bool SetSpeed(int bitsPerSecond) override;

private:
    TComPort* FComPort;
};
