#include "tasks/TaskManager.h"

#include <algorithm>
#include <chrono>

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

bool TTaskManager::AddTask(const std::string& message, bool unique)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (unique && HasTaskLocked(message))
        return false;
    // Released under the lock, so the count never runs ahead of the list.
    if (!FSemaphore.Release())
        return false;
    FTasks.push_back(message);
    return true;
}

bool TTaskManager::GetTask(std::string& message, int timeoutMs)
{
    message.clear();
    if (!FSemaphore.Acquire(timeoutMs))
        return false;
    std::lock_guard<std::mutex> guard(FLock);
    if (!FTasks.empty()) {
        message = std::move(FTasks.front());
        FTasks.pop_front();
    }
    return true;
}

bool TTaskManager::HasTask(const std::string& message)
{
    std::lock_guard<std::mutex> guard(FLock);
    return HasTaskLocked(message);
}

bool TTaskManager::HasTaskLocked(const std::string& message) const
{
    return std::find(FTasks.begin(), FTasks.end(), message) != FTasks.end();
}

int TTaskManager::PendingCount()
{
    std::lock_guard<std::mutex> guard(FLock);
    return static_cast<int>(FTasks.size());
}
