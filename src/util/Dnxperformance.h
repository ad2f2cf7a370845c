#pragma once
#include <cstdint>

#include "util/Timer.h"

// Stopwatch for one operation on the tick counter. Embedded by value.
class CDNXOpTime {
public:
    uint32_t FStart = GetTickCount();  // when the operation began
    uint32_t FStop = 0;                // when it ended; 0 while it runs

    void Start()
    {
        FStart = GetTickCount();
        FStop = 0;
    }
    void Stop() { FStop = GetTickCount(); }
    // Milliseconds from the start to the stop, or to now while the operation runs.
    uint32_t Elapsed() const { return (FStop != 0 ? FStop : GetTickCount()) - FStart; }
};
