#pragma once
#include <string>

class TComPort;

// Abstract byte port under the packet engine. The base answers every operation with a harmless
// default, so an implementation overrides only what it can do.
class TUniversalPort {
public:
    virtual ~TUniversalPort() = default;
    // True when all count bytes were handed to the line.
    virtual bool Write(const void* buffer, int count) { (void)buffer; (void)count; return false; }
    // Bytes received, at most count; 0 when none arrived in time.
    virtual int Read(void* buffer, int count) { (void)buffer; (void)count; return 0; }
    // How long each read waits for its first byte.
    virtual bool SetTimeout(int ms) { (void)ms; return false; }
    // Discards input that nobody has read yet.
    virtual void Purge() {}
    // Bytes received that nobody has read yet.
    virtual int Unread() { return 0; }
    virtual std::string GetName() { return ""; }
    virtual void SetName(const std::string& name) { (void)name; }
    virtual bool IsOpen() { return false; }
    virtual void Close() {}
    virtual void Open() {}
    virtual TComPort* GetComPort() { return nullptr; }
    virtual bool IsReady() { return false; }
    virtual bool SetSpeed(int bitsPerSecond) { (void)bitsPerSecond; return true; }
};
