#include "tasks/ThreadTaskManager.h"

#include <cmath>
#include <limits>

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

TThreadTask TThreadTaskManager::RegisterTask(int id, TTaskProc proc)
{
    std::lock_guard<std::mutex> guard(FRegistryLock);
    for (TThreadTask& task : FTasks) {
        if (task.Id == id) {
            task.Proc = std::move(proc);
            return task;
        }
    }
    FTasks.push_back(TThreadTask{id, std::move(proc)});
    return FTasks.back();
}

int TThreadTaskManager::FindTask(int id) const
{
    std::lock_guard<std::mutex> guard(FRegistryLock);
    for (size_t i = 0; i < FTasks.size(); ++i) {
        if (FTasks[i].Id == id)
            return static_cast<int>(i);
    }
    return -1;
}

bool TThreadTaskManager::PostTask(int id, const std::string& arguments)
{
    return FTaskManager->AddTask(std::to_string(id) + "," + arguments, false);
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
    FTaskManager->AddTask("", false);
}

void TThreadTaskManager::WaitFor()
{
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

namespace {

// The id is the first number truncated toward zero; anything that is no int gives 0, which no
// task has.
int MessageId(const TDNXParams& params)
{
    const float first = params.GetParam(0);
    if (!std::isfinite(first) || first >= 2147483648.0f || first < -2147483648.0f)
        return 0;
    return static_cast<int>(first);
}

}  // namespace

void TThreadTaskManager::Execute()
{
    while (!FTerminated) {
        std::string message;
        if (!FTaskManager->GetTask(message, TTaskManager::Infinite) || message.empty())
            continue;
        TDNXParams params(message, ',');
        const int id = MessageId(params);
        TTaskProc proc;
        {
            std::lock_guard<std::mutex> guard(FRegistryLock);
            for (const TThreadTask& task : FTasks) {
                if (task.Id == id && id != 0) {
                    proc = task.Proc;
                    break;
                }
            }
        }
        // An id without a routine is dropped while the current task stays 0, so a CancelTask
        // never waits for a run that does not happen.
        if (!proc)
            continue;
        {
            std::lock_guard<std::mutex> guard(FStateLock);
            if (FTerminated)
                break;
            FCurrentTask = id;
            FCancel = false;
        }
        try {
            proc(&FCancel, &params);
        } catch (...) {
            // A failing routine must not take the thread down with it.
        }
        {
            std::lock_guard<std::mutex> guard(FStateLock);
            FCurrentTask = 0;
            ++FRunsEnded;
        }
        FRunEnded.notify_all();
    }
    std::lock_guard<std::mutex> guard(FRegistryLock);
    FTasks.clear();
}
