#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

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

// The work of one task. It runs on the task thread and must return soon after `cancel` becomes
// true.
using TTaskWork = std::function<void(const std::atomic<bool>& cancel)>;

// One piece of work with the id it runs under (0 and no work: the wake-up that ends the thread).
struct TTask {
    int Id = 0;
    TTaskWork Work;
};

// The task thread's queue: tasks, oldest first, one semaphore unit for each.
class TTaskManager {
public:
    static constexpr int MaxPending = 255;
    static constexpr int Infinite = -1;

    TTaskManager() = default;
    TTaskManager(const TTaskManager&) = delete;
    TTaskManager& operator=(const TTaskManager&) = delete;

    // False when the task was not queued: MaxPending tasks are already waiting (a task that
    // could not wake the reader is better refused than left behind in the queue).
    bool AddTask(TTask task);
    // Waits up to timeoutMs (Infinite: without end) for a task. False, with an empty task, when
    // none came.
    bool GetTask(TTask& task, int timeoutMs);
    int PendingCount();

private:
    std::deque<TTask> FTasks;
    TCountingSemaphore FSemaphore{0, MaxPending};
    std::mutex FLock;  // guards FTasks; never held while waiting on the semaphore
};
