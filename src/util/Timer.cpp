#include "util/Timer.h"

#include <chrono>
#include <climits>

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
    if (elapsed >= interval)
        return 0;
    // An interval beyond the int range must not come out negative and read as "disabled".
    const uint32_t left = interval - elapsed;
    return left > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(left);
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
