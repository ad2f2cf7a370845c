#pragma once
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

// A counting semaphore with an upper bound, like the system semaphores the queue was designed
// around: a release beyond the maximum is refused.
class TCountingSemaphore {
public:
    TCountingSemaphore(int initial, int maximum) : FCount(initial), FMaximum(maximum) {}

    // False, changing nothing, when the count is already at its maximum.
    bool Release();
    // Takes one unit, waiting up to timeoutMs for it (a negative timeout waits without end).
    bool Acquire(int timeoutMs);

private:
    std::mutex FMutex;
    std::condition_variable FAvailable;
    int FCount;
    const int FMaximum;
};

// The task thread's message queue: strings, oldest first, one semaphore unit for each.
class TTaskManager {
public:
    static constexpr int MaxPending = 255;
    static constexpr int Infinite = -1;

    TTaskManager() = default;
    TTaskManager(const TTaskManager&) = delete;
    TTaskManager& operator=(const TTaskManager&) = delete;

    // Queues the message unless unique is set and an equal one is pending. Returns false when
    // it was not queued (a duplicate, or MaxPending messages already waiting: a message that
    // could not wake the reader is better refused than left behind in the queue).
    bool AddTask(const std::string& message, bool unique);
    // Waits up to timeoutMs (Infinite: without end) for a message. False, with an empty
    // message, when none came.
    bool GetTask(std::string& message, int timeoutMs);
    bool HasTask(const std::string& message);
    int PendingCount();

private:
    bool HasTaskLocked(const std::string& message) const;

    std::deque<std::string> FTasks;
    TCountingSemaphore FSemaphore{0, MaxPending};
    std::mutex FLock;  // guards FTasks; never held while waiting on the semaphore
};
