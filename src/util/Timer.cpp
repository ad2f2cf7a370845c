#include "Timer.h"

#include <chrono>

uint32_t GetTickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int CDNXTimer::RemainingAt(uint32_t interval, uint32_t now) const
{
    if (!FEnabled)
        return -1;
    if (FStart == 0)
        return 0;
    const uint32_t elapsed = now - FStart;  // modulo 2^32, so a wrap is measured correctly
    return elapsed < interval ? static_cast<int>(interval - elapsed) : 0;
}

bool CDNXTimer::ExpiredAt(uint32_t interval, uint32_t now)
{
    if (!FEnabled)
        return false;
    if (RemainingAt(interval, now) != 0)
        return false;
    if (FAutoRestart)
        FStart = now;
    return true;
}
