#include "link/ComPort.h"

// The parts of the port that do not touch the operating system.

bool PortNameBefore(const std::string& a, const std::string& b)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t endA = i;
            size_t endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            // Leading zeros do not make a number bigger.
            size_t startA = i;
            size_t startB = j;
            while (startA + 1 < endA && a[startA] == '0')
                ++startA;
            while (startB + 1 < endB && b[startB] == '0')
                ++startB;
            if (endA - startA != endB - startB)
                return endA - startA < endB - startB;
            const int order = a.compare(startA, endA - startA, b, startB, endB - startB);
            if (order != 0)
                return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i == a.size();  // a prefix comes first
    return a < b;  // equal but for leading zeros: still a strict order
}

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

void TComPort::TakeHandle(TPortHandle handle)
{
    FHandle = handle;
    try {
        ApplySettings();
        LoadTimeouts();
    } catch (...) {
        Close();
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
