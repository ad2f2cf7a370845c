#include "ComPort.h"

// The parts of the port that do not touch the operating system.

void TComPort::SetPortName(const std::string& name)
{
    FPortName = name;
}

std::string TComPort::GetPortName() const
{
    return FPortName;
}

void TComPort::SetBaudRate(int bitsPerSecond)
{
    if (bitsPerSecond == FBaudRate)
        return;
    const int previous = FBaudRate;
    FBaudRate = bitsPerSecond;
    try {
        ApplySettings();
    } catch (...) {
        FBaudRate = previous;  // a refused speed must not poison the next open
        throw;
    }
}

void TComPort::Reopen(const std::string& name)
{
    Close();
    FPortName = name;
    Open();
}

void TComPort::OpenByName(const std::string& name)
{
    if (!name.empty())
        SetPortName(name);
    Reopen(FPortName);
}

void TComPort::SetReadIntervalTimeout(uint32_t ms)
{
    if (FTimeouts.ReadIntervalTimeout == ms)
        return;
    FTimeouts.ReadIntervalTimeout = ms;
    ApplyTimeouts();
}

void TComPort::SetReadTotalTimeoutMultiplier(uint32_t ms)
{
    if (FTimeouts.ReadTotalTimeoutMultiplier == ms)
        return;
    FTimeouts.ReadTotalTimeoutMultiplier = ms;
    ApplyTimeouts();
}

void TComPort::SetReadTotalTimeoutConstant(uint32_t ms)
{
    if (FTimeouts.ReadTotalTimeoutConstant == ms)
        return;
    FTimeouts.ReadTotalTimeoutConstant = ms;
    ApplyTimeouts();
}
