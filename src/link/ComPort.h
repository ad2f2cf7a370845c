#pragma once
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "link/PortLock.h"

// A failure of the operating system under the serial port: its text and the system error code.
class TComPortException : public std::exception {
public:
    std::string Message;
    int Code;

    TComPortException(std::string message, int code) : Message(std::move(message)), Code(code) {}
    const char* what() const noexcept override { return Message.c_str(); }
};

// What a write to a port that is not open reports; the code is the system's "invalid handle".
constexpr int kErrorClosedPort = 6;
constexpr const char* kClosedPortText = "Can't write to closed port.";

// All 32 bits set: "infinite" for the wait bounds, and the marker value of the read timeouts.
constexpr uint32_t kComInfinite = 0xFFFFFFFFu;

// Read and write timeouts in the classic serial-driver model. A read with the interval and the
// multiplier at kComInfinite and a constant between 1 and kComInfinite - 1 returns at once with
// what has arrived, or waits up to the constant for the first byte.
struct TCommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// Line state as the channel's purge looks at it.
struct TComStat {
    uint32_t Flags = 0;
    uint32_t cbInQue = 0;   // received bytes not yet read
    uint32_t cbOutQue = 0;  // bytes not yet sent
};

// Port names in the order a person counts them: digit runs compare by their value, so
// /dev/ttyUSB2 comes before /dev/ttyUSB10.
bool PortNameBefore(const std::string& a, const std::string& b);

// Whether two port names reach one device: the same device number, or the same path once links,
// "." and ".." are resolved (a device not present yet as far as its path exists); on Windows the
// same port name, letter case and the "\\.\" prefix aside.
bool SamePortDevice(const std::string& a, const std::string& b);

#ifdef _WIN32
using TPortHandle = void*;
#else
using TPortHandle = int;
#endif

// One serial port, named by its device path. Opened exclusively, raw, at the set speed and line
// codes, with DTR and RTS held asserted. Operating-system failures raise TComPortException.
class TComPort {
public:
    uint32_t FCriticalWriteFileTime = kComInfinite;  // bound on one write; infinite = none
    uint32_t FCriticalReadFileTime = kComInfinite;   // bound on one read beyond its timeouts

    TComPort();
    ~TComPort();
    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    // The serial devices present, sorted; a port held by another program is listed too.
    static void EnumPorts(std::vector<std::string>& list);

    void SetPortName(const std::string& name);
    std::string GetPortName() const;
    void SetBaudRate(int bitsPerSecond);
    int GetBaudRate() const { return FBaudRate; }

    // A failed open raises nothing: IsOpen stays false and LastOpenError tells why
    // (EBUSY or EWOULDBLOCK: another program holds the port; EACCES or EPERM: no permission;
    // ENOENT: no such device). Windows failures are given the same codes.
    // While open, the port keeps a lock file where the lock folder lets it.
    void Open();
    void Close();
    bool IsOpen() const;
    void Reopen(const std::string& name);
    void OpenByName(const std::string& name);
    int LastOpenError() const { return FLastOpenError; }
    // After an open refused with EBUSY: the program that has the port (Pid 0 when it could not
    // be seen). Empty after any other outcome.
    const TPortHolder& LastHolder() const { return FLastHolder; }

    bool Write(const void* buffer, int count);
    int Read(void* buffer, int count);

    void SetReadIntervalTimeout(uint32_t ms);
    void SetReadTotalTimeoutMultiplier(uint32_t ms);
    void SetReadTotalTimeoutConstant(uint32_t ms);
    const TCommTimeouts& Timeouts() const { return FTimeouts; }

    // Fills the line state and returns the pending error flags (always 0 where the system keeps
    // no such flags).
    uint32_t ClearErrors(TComStat& stat);
    bool PurgeInput();

    void ApplySettings();
    void LoadTimeouts();
    void ApplyTimeouts();

private:
    // The last step of either system's Open: the port takes the opened handle and its line
    // settings and timeouts, or closes it again and lets the failure out.
    void TakeHandle(TPortHandle handle);

    TPortHandle FHandle;
    std::string FPortName;
    int FBaudRate = 9600;
    uint8_t FByteSize = 3;  // data bits - 5
    uint8_t FParity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t FStopBits = 0;  // 0 one, 1 one and a half, 2 two
    TCommTimeouts FTimeouts;
    int FLastOpenError = 0;
    TPortHolder FLastHolder;
#ifndef _WIN32
    TPortLock FLock;
#endif
};
