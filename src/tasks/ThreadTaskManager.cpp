#include "tasks/ThreadTaskManager.h"

#include <utility>

TThreadTaskManager::TThreadTaskManager()
    : FTaskManager(std::make_unique<TTaskManager>())
{
    FThread = std::thread(&TThreadTaskManager::Execute, this);
}

TThreadTaskManager::~TThreadTaskManager()
{
    if (FThread.joinable()) {
        Stop();
        WaitFor();
    }
}

bool TThreadTaskManager::PostTask(int id, TTaskWork work)
{
    // Id 0 is what "nothing runs" reads as, so work under it could never be waited for.
    if (id == 0 || !work)
        return false;
    return FTaskManager->AddTask(TTask{id, std::move(work)});
}

void TThreadTaskManager::CancelTask()
{
    std::unique_lock<std::mutex> lock(FStateLock);
    FCancel = true;
    if (FCurrentTask == 0)
        return;
    const unsigned seen = FRunsEnded;
    FRunEnded.wait(lock, [&] { return FRunsEnded != seen; });
}

void TThreadTaskManager::Stop()
{
    {
        std::lock_guard<std::mutex> guard(FStateLock);
        FCancel = true;
        FTerminated = true;
    }
    FTaskManager->AddTask(TTask());
}

void TThreadTaskManager::WaitFor()
{
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

void TThreadTaskManager::Execute()
{
    while (!FTerminated) {
        TTask task;
        if (!FTaskManager->GetTask(task, TTaskManager::Infinite) || !task.Work)
            continue;
        {
            std::lock_guard<std::mutex> guard(FStateLock);
            if (FTerminated)
                break;
            FCurrentTask = task.Id;
            FCancel = false;
        }
        try {
            task.Work(FCancel);
        } catch (...) {
            // Failing work must not take the thread down with it.
        }
        // What the work holds goes with its run, not with the next task.
        task = TTask();
        {
            std::lock_guard<std::mutex> guard(FStateLock);
            FCurrentTask = 0;
            ++FRunsEnded;
        }
        FRunEnded.notify_all();
    }
    // Tasks never taken let go of what they hold now rather than when the object goes.
    TTask left;
    while (FTaskManager->GetTask(left, 0)) {
    }
}
