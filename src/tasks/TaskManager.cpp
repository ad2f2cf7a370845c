#include "tasks/TaskManager.h"

#include <chrono>
#include <utility>

bool TCountingSemaphore::Release()
{
    {
        std::lock_guard<std::mutex> guard(FMutex);
        if (FCount >= FMaximum)
            return false;
        ++FCount;
    }
    FAvailable.notify_one();
    return true;
}

bool TCountingSemaphore::Acquire(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(FMutex);
    const auto available = [this] { return FCount > 0; };
    if (timeoutMs < 0)
        FAvailable.wait(lock, available);
    else if (!FAvailable.wait_for(lock, std::chrono::milliseconds(timeoutMs), available))
        return false;
    --FCount;
    return true;
}

bool TTaskManager::AddTask(TTask task)
{
    std::lock_guard<std::mutex> guard(FLock);
    // Released under the lock, so the count never runs ahead of the list.
    if (!FSemaphore.Release())
        return false;
    FTasks.push_back(std::move(task));
    return true;
}

bool TTaskManager::GetTask(TTask& task, int timeoutMs)
{
    task = TTask();
    if (!FSemaphore.Acquire(timeoutMs))
        return false;
    std::lock_guard<std::mutex> guard(FLock);
    if (!FTasks.empty()) {
        task = std::move(FTasks.front());
        FTasks.pop_front();
    }
    return true;
}

int TTaskManager::PendingCount()
{
    std::lock_guard<std::mutex> guard(FLock);
    return static_cast<int>(FTasks.size());
}
