#pragma once
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "tasks/TaskManager.h"

// One worker thread running the work posted to its queue, one task after the other in posting
// order. The thread starts with the object.
class TThreadTaskManager {
public:
    TThreadTaskManager();
    // Stops the thread and waits for it if the owner has not done so.
    ~TThreadTaskManager();
    TThreadTaskManager(const TThreadTaskManager&) = delete;
    TThreadTaskManager& operator=(const TThreadTaskManager&) = delete;

    // Queues the work under the id, which GetCurrentTask shows while it runs. False when the
    // id is 0, there is no work, or the queue refused it (it is full).
    bool PostTask(int id, TTaskWork work);
    // The id of the work running now; 0 when none runs.
    int GetCurrentTask() const { return FCurrentTask.load(); }
    // Asks the running work to stop and blocks until it has returned; returns at once when
    // nothing runs.
    void CancelTask();
    // Cancels the running work and ends the thread without taking further tasks.
    void Stop();
    // Blocks until the thread has ended (after Stop). Not to be called from the work.
    void WaitFor();
    bool Terminated() const { return FTerminated.load(); }

private:
    void Execute();

    std::unique_ptr<TTaskManager> FTaskManager;

    std::atomic<bool> FCancel{false};
    std::atomic<int> FCurrentTask{0};
    std::atomic<bool> FTerminated{false};

    // Orders the start of a run against Stop and lets CancelTask wait for the end of the run it
    // saw without polling; FRunsEnded counts finished runs.
    std::mutex FStateLock;
    std::condition_variable FRunEnded;
    unsigned FRunsEnded = 0;

    std::thread FThread;  // last, so it starts only once everything above exists
};
