#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tasks/ThreadTaskManager.h"

namespace {

using namespace std::chrono_literals;

// Generous: only reached when something is broken.
constexpr auto kPatience = 10s;

// A one-shot event another thread can wait for.
class Flag {
public:
    void Set()
    {
        {
            std::lock_guard<std::mutex> guard(FMutex);
            FSet = true;
        }
        FChanged.notify_all();
    }
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(FMutex);
        return FChanged.wait_for(lock, kPatience, [this] { return FSet; });
    }
    bool IsSet()
    {
        std::lock_guard<std::mutex> guard(FMutex);
        return FSet;
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    bool FSet = false;
};

// What routines saw, in the order they ran.
class Journal {
public:
    void Add(const std::string& entry)
    {
        {
            std::lock_guard<std::mutex> guard(FMutex);
            FEntries.push_back(entry);
        }
        FChanged.notify_all();
    }
    bool WaitForCount(size_t count)
    {
        std::unique_lock<std::mutex> lock(FMutex);
        return FChanged.wait_for(lock, kPatience, [&] { return FEntries.size() >= count; });
    }
    std::vector<std::string> Entries()
    {
        std::lock_guard<std::mutex> guard(FMutex);
        return FEntries;
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<std::string> FEntries;
};

// The current task is a value the window polls; tests watch it the same way, with a deadline.
bool CurrentTaskBecomes(const TThreadTaskManager& manager, int id)
{
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (manager.GetCurrentTask() != id) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Runs a call that may block on another thread; false when it has not returned in time.
bool ReturnsInTime(const std::function<void()>& call)
{
    Flag done;
    std::thread runner([&] {
        call();
        done.Set();
    });
    const bool returned = done.Wait();
    if (!returned)
        runner.detach();  // the test fails; the process ends soon anyway
    else
        runner.join();
    return returned;
}

// Work that reports its start and then runs until it is cancelled.
TTaskWork RunUntilCancelled(Flag& started, Flag& returned)
{
    return [&started, &returned](const std::atomic<bool>& cancel) {
        started.Set();
        while (!cancel.load())
            std::this_thread::yield();
        returned.Set();
    };
}

}  // namespace

TEST(TThreadTaskManager, postedWork_runsAndItsIdIsCurrentWhileItRuns)
{
    Flag started, release;
    TThreadTaskManager manager;
    EXPECT_EQ(manager.GetCurrentTask(), 0);
    ASSERT_TRUE(manager.PostTask(1, [&](const std::atomic<bool>&) {
        started.Set();
        release.Wait();
    }));
    ASSERT_TRUE(started.Wait());
    EXPECT_EQ(manager.GetCurrentTask(), 1);
    release.Set();
    EXPECT_TRUE(CurrentTaskBecomes(manager, 0));
}

TEST(TThreadTaskManager, tasksPostedBackToBack_runOneAfterAnotherInPostingOrder)
{
    Journal journal;
    Flag gate;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    TThreadTaskManager manager;
    auto record = [&](std::string entry) {
        return [&, entry](const std::atomic<bool>&) {
            if (running.fetch_add(1) != 0)
                overlapped = true;
            gate.Wait();
            journal.Add(entry);
            running.fetch_sub(1);
        };
    };
    manager.PostTask(1, record("one:10"));
    manager.PostTask(2, record("two:20"));
    manager.PostTask(1, record("one:30"));
    manager.PostTask(2, record("two:40"));
    gate.Set();
    ASSERT_TRUE(journal.WaitForCount(4));
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"one:10", "two:20", "one:30", "two:40"}));
    EXPECT_FALSE(overlapped.load());
}

TEST(TThreadTaskManager, workThatThrows_isSwallowedAndTheThreadGoesOn)
{
    Flag threw, ranAfter;
    TThreadTaskManager manager;
    manager.PostTask(1, [&](const std::atomic<bool>&) {
        threw.Set();
        throw std::runtime_error("reader gone");
    });
    ASSERT_TRUE(threw.Wait());
    EXPECT_TRUE(CurrentTaskBecomes(manager, 0));
    manager.PostTask(2, [](const std::atomic<bool>&) { throw 42; });
    manager.PostTask(3, [&](const std::atomic<bool>&) { ranAfter.Set(); });
    ASSERT_TRUE(ranAfter.Wait());
    EXPECT_TRUE(CurrentTaskBecomes(manager, 0));
}

TEST(TThreadTaskManager, cancelTask_returnsAtOnceWhenIdle_andDuringARunOnlyOnceTheWorkHasReturned)
{
    Flag started, returned, startedAgain, returnedAgain;
    TThreadTaskManager manager;
    EXPECT_TRUE(ReturnsInTime([&] { manager.CancelTask(); }));
    EXPECT_EQ(manager.GetCurrentTask(), 0);

    manager.PostTask(1, RunUntilCancelled(started, returned));
    ASSERT_TRUE(started.Wait());
    ASSERT_TRUE(ReturnsInTime([&] { manager.CancelTask(); }));
    EXPECT_TRUE(returned.IsSet());
    EXPECT_EQ(manager.GetCurrentTask(), 0);

    // The next run starts with the cancel request cleared.
    manager.PostTask(1, RunUntilCancelled(startedAgain, returnedAgain));
    ASSERT_TRUE(startedAgain.Wait());
    EXPECT_EQ(manager.GetCurrentTask(), 1);
    EXPECT_FALSE(returnedAgain.IsSet());
    manager.CancelTask();
    EXPECT_TRUE(returnedAgain.IsSet());
}

TEST(TThreadTaskManager, cancelTaskWithTheSameIdQueuedNext_returnsWhenTheRunItSawEnds)
{
    std::atomic<int> runs{0};
    Flag firstStarted, secondStarted;
    TThreadTaskManager manager;
    const TTaskWork work = [&](const std::atomic<bool>& cancel) {
        (++runs == 1 ? firstStarted : secondStarted).Set();
        while (!cancel.load())
            std::this_thread::yield();
    };
    manager.PostTask(1, work);
    manager.PostTask(1, work);
    ASSERT_TRUE(firstStarted.Wait());
    EXPECT_TRUE(ReturnsInTime([&] { manager.CancelTask(); }));
    ASSERT_TRUE(secondStarted.Wait());
    EXPECT_TRUE(ReturnsInTime([&] { manager.CancelTask(); }));
}

TEST(TThreadTaskManager, postWithoutWorkOrUnderIdZero_isRefusedAndNeverBecomesCurrent)
{
    Flag ran, zeroRan;
    TThreadTaskManager manager;
    EXPECT_FALSE(manager.PostTask(7, TTaskWork()));
    EXPECT_FALSE(manager.PostTask(0, [&](const std::atomic<bool>&) { zeroRan.Set(); }));
    ASSERT_TRUE(manager.PostTask(1, [&](const std::atomic<bool>&) { ran.Set(); }));
    bool sawOther = false;
    while (!ran.IsSet()) {
        const int current = manager.GetCurrentTask();
        if (current != 0 && current != 1)
            sawOther = true;
        EXPECT_TRUE(ReturnsInTime([&] { manager.CancelTask(); }));
    }
    EXPECT_FALSE(sawOther);
    EXPECT_FALSE(zeroRan.IsSet());
}

TEST(TThreadTaskManager, stopDuringARun_cancelsItTakesNoFurtherTaskAndLetsGoOfQueuedWork)
{
    Flag started, returned, laterRan;
    auto held = std::make_shared<int>(0);
    TThreadTaskManager manager;
    manager.PostTask(1, RunUntilCancelled(started, returned));
    manager.PostTask(2, [&, held](const std::atomic<bool>&) { laterRan.Set(); });
    ASSERT_TRUE(started.Wait());
    manager.Stop();
    ASSERT_TRUE(ReturnsInTime([&] { manager.WaitFor(); }));
    EXPECT_TRUE(returned.IsSet());
    EXPECT_FALSE(laterRan.IsSet());
    EXPECT_TRUE(manager.Terminated());
    EXPECT_EQ(manager.GetCurrentTask(), 0);
    EXPECT_EQ(held.use_count(), 1);  // the work never taken is gone with the thread
}

TEST(TThreadTaskManager, stopRightAfterAPost_neverLeavesAnUncancelledRunBehind)
{
    // Work that would run forever unless it sees the cancel flag: a Stop that lands while the
    // task is being taken must still reach it, or the owner waits forever.
    for (int round = 0; round < 200; ++round) {
        Flag warmedUp;
        TThreadTaskManager manager;
        // Let the thread finish one run first, so it is waiting for the next task.
        manager.PostTask(2, [&](const std::atomic<bool>&) { warmedUp.Set(); });
        ASSERT_TRUE(warmedUp.Wait());
        ASSERT_TRUE(CurrentTaskBecomes(manager, 0));
        manager.PostTask(1, [](const std::atomic<bool>& cancel) {
            while (!cancel.load())
                std::this_thread::yield();
        });
        if (round % 2)
            std::this_thread::yield();
        manager.Stop();
        ASSERT_TRUE(ReturnsInTime([&] { manager.WaitFor(); })) << "round " << round;
    }
}

TEST(TThreadTaskManager, destruction_stopsRunningWorkAndJoinsTheThread)
{
    Flag started, returned;
    auto manager = std::make_unique<TThreadTaskManager>();
    manager->PostTask(1, RunUntilCancelled(started, returned));
    ASSERT_TRUE(started.Wait());
    ASSERT_TRUE(ReturnsInTime([&] { manager.reset(); }));
    EXPECT_TRUE(returned.IsSet());

    // Owner-driven shut-down first, then destruction: nothing left to do.
    auto idle = std::make_unique<TThreadTaskManager>();
    idle->Stop();
    idle->WaitFor();
    EXPECT_TRUE(ReturnsInTime([&] { idle.reset(); }));
}
