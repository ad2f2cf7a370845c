#pragma once
#include <cstdint>

// Milliseconds since an arbitrary start, as an unsigned 32-bit counter that wraps after about
// 49.7 days, like the tick counter the timers were designed around.
uint32_t GetTickCount();

// Interval timer on the tick counter. Embedded by value in its owner.
class CDNXTimer {
public:
    uint32_t FStart = 0;        // tick of the last restart; 0 = never started
    bool FEnabled = true;       // a disabled timer never expires
    bool FAutoRestart = false;  // restart when found expired

    // -1 when disabled, 0 when never started or elapsed, otherwise the milliseconds
    // left (at most INT_MAX).
    int Remaining(uint32_t interval) const { return RemainingAt(interval, GetTickCount()); }
    int RemainingAt(uint32_t interval, uint32_t now) const;
    bool Expired(uint32_t interval) { return ExpiredAt(interval, GetTickCount()); }
    bool ExpiredAt(uint32_t interval, uint32_t now);
    void Restart() { FStart = GetTickCount(); }
};
