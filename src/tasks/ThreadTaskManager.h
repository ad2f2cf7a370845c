#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tasks/DNXParams.h"
#include "tasks/TaskManager.h"

// The work of one task id. It runs on the task thread and must return soon after *cancel
// becomes true; args holds the posted message as numbers (the id first).
using TTaskProc = std::function<void(std::atomic<bool>* cancel, TDNXParams* args)>;

struct TThreadTask {
    int Id = 0;
    TTaskProc Proc;
};

// One worker thread running registered routines for the messages "id,arguments" posted to its
// queue, one after the other in posting order. The thread starts with the object.
class TThreadTaskManager {
public:
    TThreadTaskManager();
    // Stops the thread and waits for it if the owner has not done so.
    ~TThreadTaskManager();
    TThreadTaskManager(const TThreadTaskManager&) = delete;
    TThreadTaskManager& operator=(const TThreadTaskManager&) = delete;

    // Adds the routine under the id (ids are non-zero), or replaces the routine already there.
    TThreadTask RegisterTask(int id, TTaskProc proc);
    // Index of the entry with the id, or -1.
    int FindTask(int id) const;
    // Queues the message "id,arguments". False when the queue refused it (it is full).
    bool PostTask(int id, const std::string& arguments);
    // The id of the routine running now; 0 when none runs.
    int GetCurrentTask() const { return FCurrentTask.load(); }
    // Asks the running routine to stop and blocks until it has returned; returns at once when
    // nothing runs.
    void CancelTask();
    // Cancels the running routine and ends the thread without taking further messages.
    void Stop();
    // Blocks until the thread has ended (after Stop). Not to be called from a routine.
    void WaitFor();
    bool Terminated() const { return FTerminated.load(); }

private:
    void Execute();

    std::unique_ptr<TTaskManager> FTaskManager;
    mutable std::mutex FRegistryLock;
    std::vector<TThreadTask> FTasks;

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
