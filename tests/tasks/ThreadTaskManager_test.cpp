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

// A routine that reports its start and then runs until it is cancelled.
TTaskProc RunUntilCancelled(Flag& started, Flag& returned)
{
    return [&started, &returned](std::atomic<bool>* cancel, TDNXParams*) {
        started.Set();
        while (!cancel->load())
            std::this_thread::yield();
        returned.Set();
    };
}

}  // namespace

TEST(TThreadTaskManager, postedTask_runsWithItsIdAndArgumentsAndIsCurrentWhileItRuns)
{
    Flag started, release;
    std::vector<float> seen;
    TThreadTaskManager manager;
    manager.RegisterTask(1, [&](std::atomic<bool>*, TDNXParams* args) {
        for (int i = 0; i < args->ParamCount(); ++i)
            seen.push_back(args->GetParam(i));
        started.Set();
        release.Wait();
    });
    EXPECT_EQ(manager.GetCurrentTask(), 0);
    ASSERT_TRUE(manager.PostTask(1, ""));
    ASSERT_TRUE(started.Wait());
    EXPECT_EQ(manager.GetCurrentTask(), 1);
    EXPECT_EQ(seen, (std::vector<float>{1.0f, 0.0f}));
    release.Set();
    EXPECT_TRUE(CurrentTaskBecomes(manager, 0));
}

TEST(TThreadTaskManager, messagesPostedBackToBack_runOneAfterAnotherInPostingOrder)
{
    Journal journal;
    Flag gate;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    TThreadTaskManager manager;
    auto record = [&](const char* name) {
        return [&, name](std::atomic<bool>*, TDNXParams* args) {
            if (running.fetch_add(1) != 0)
                overlapped = true;
            gate.Wait();
            journal.Add(std::string(name) + ":" + std::to_string(static_cast<int>(args->GetParam(1))));
            running.fetch_sub(1);
        };
    };
    manager.RegisterTask(1, record("one"));
    manager.RegisterTask(2, record("two"));
    manager.PostTask(1, "10");
    manager.PostTask(2, "20");
    manager.PostTask(1, "30,99");
    manager.PostTask(2, "40");
    gate.Set();
    ASSERT_TRUE(journal.WaitForCount(4));
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"one:10", "two:20", "one:30", "two:40"}));
    EXPECT_FALSE(overlapped.load());
}

TEST(TThreadTaskManager, routineThatThrows_isSwallowedAndTheThreadGoesOn)
{
    Flag threw, ranAfter;
    TThreadTaskManager manager;
    manager.RegisterTask(1, [&](std::atomic<bool>*, TDNXParams*) {
        threw.Set();
        throw std::runtime_error("reader gone");
    });
    manager.RegisterTask(2, [&](std::atomic<bool>*, TDNXParams*) { throw 42; });
    manager.RegisterTask(3, [&](std::atomic<bool>*, TDNXParams*) { ranAfter.Set(); });
    manager.PostTask(1, "");
    ASSERT_TRUE(threw.Wait());
    EXPECT_TRUE(CurrentTaskBecomes(manager, 0));
    manager.PostTask(2, "");
    manager.PostTask(3, "");
    ASSERT_TRUE(ranAfter.Wait());
    EXPECT_TRUE(CurrentTaskBecomes(manager, 0));
}

TEST(TThreadTaskManager, cancelTask_returnsAtOnceWhenIdle_andDuringARunOnlyOnceTheRoutineHasReturned)
{
    Flag started, returned, startedAgain, returnedAgain;
    TThreadTaskManager manager;
    EXPECT_TRUE(ReturnsInTime([&] { manager.CancelTask(); }));
    EXPECT_EQ(manager.GetCurrentTask(), 0);

    manager.RegisterTask(1, RunUntilCancelled(started, returned));
    manager.PostTask(1, "");
    ASSERT_TRUE(started.Wait());
    ASSERT_TRUE(ReturnsInTime([&] { manager.CancelTask(); }));
    EXPECT_TRUE(returned.IsSet());
    EXPECT_EQ(manager.GetCurrentTask(), 0);

    // The next run starts with the cancel request cleared.
    manager.RegisterTask(1, RunUntilCancelled(startedAgain, returnedAgain));
    manager.PostTask(1, "");
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
    manager.RegisterTask(1, [&](std::atomic<bool>* cancel, TDNXParams*) {
        (++runs == 1 ? firstStarted : secondStarted).Set();
        while (!cancel->load())
            std::this_thread::yield();
    });
    manager.PostTask(1, "");
    manager.PostTask(1, "");
    ASSERT_TRUE(firstStarted.Wait());
    EXPECT_TRUE(ReturnsInTime([&] { manager.CancelTask(); }));
    ASSERT_TRUE(secondStarted.Wait());
    EXPECT_TRUE(ReturnsInTime([&] { manager.CancelTask(); }));
}

TEST(TThreadTaskManager, unregisteredId_isDroppedWithoutEverBecomingCurrent)
{
    Flag ran;
    TThreadTaskManager manager;
    manager.RegisterTask(1, [&](std::atomic<bool>*, TDNXParams*) { ran.Set(); });
    EXPECT_EQ(manager.FindTask(7), -1);
    for (int i = 0; i < 50; ++i)
        manager.PostTask(7, "");
    manager.PostTask(0, "");
    manager.PostTask(1, "");
    bool sawOther = false;
    while (!ran.IsSet()) {
        const int current = manager.GetCurrentTask();
        if (current != 0 && current != 1)
            sawOther = true;
        EXPECT_TRUE(ReturnsInTime([&] { manager.CancelTask(); }));
    }
    EXPECT_FALSE(sawOther);
}

TEST(TThreadTaskManager, stopDuringARun_cancelsItAndTakesNoFurtherMessage)
{
    Flag started, returned, laterRan;
    TThreadTaskManager manager;
    manager.RegisterTask(1, RunUntilCancelled(started, returned));
    manager.RegisterTask(2, [&](std::atomic<bool>*, TDNXParams*) { laterRan.Set(); });
    manager.PostTask(1, "");
    manager.PostTask(2, "");
    ASSERT_TRUE(started.Wait());
    manager.Stop();
    ASSERT_TRUE(ReturnsInTime([&] { manager.WaitFor(); }));
    EXPECT_TRUE(returned.IsSet());
    EXPECT_FALSE(laterRan.IsSet());
    EXPECT_TRUE(manager.Terminated());
    EXPECT_EQ(manager.GetCurrentTask(), 0);
    EXPECT_EQ(manager.FindTask(1), -1);  // the registry is emptied when the thread ends
}

TEST(TThreadTaskManager, stopRightAfterAPost_neverLeavesAnUncancelledRunBehind)
{
    // A routine that would run forever unless it sees the cancel flag: a Stop that lands while
    // the message is being taken must still reach it, or the owner waits forever.
    for (int round = 0; round < 200; ++round) {
        Flag warmedUp;
        TThreadTaskManager manager;
        manager.RegisterTask(1, [](std::atomic<bool>* cancel, TDNXParams*) {
            while (!cancel->load())
                std::this_thread::yield();
        });
        manager.RegisterTask(2, [&](std::atomic<bool>*, TDNXParams*) { warmedUp.Set(); });
        // Let the thread finish one run first, so it is waiting for the next message.
        manager.PostTask(2, "");
        ASSERT_TRUE(warmedUp.Wait());
        ASSERT_TRUE(CurrentTaskBecomes(manager, 0));
        manager.PostTask(1, "");
        if (round % 2)
            std::this_thread::yield();
        manager.Stop();
        ASSERT_TRUE(ReturnsInTime([&] { manager.WaitFor(); })) << "round " << round;
    }
}

TEST(TThreadTaskManager, destruction_stopsARunningRoutineAndJoinsTheThread)
{
    Flag started, returned;
    auto manager = std::make_unique<TThreadTaskManager>();
    manager->RegisterTask(1, RunUntilCancelled(started, returned));
    manager->PostTask(1, "");
    ASSERT_TRUE(started.Wait());
    ASSERT_TRUE(ReturnsInTime([&] { manager.reset(); }));
    EXPECT_TRUE(returned.IsSet());

    // Owner-driven shut-down first, then destruction: nothing left to do.
    auto idle = std::make_unique<TThreadTaskManager>();
    idle->Stop();
    idle->WaitFor();
    EXPECT_TRUE(ReturnsInTime([&] { idle.reset(); }));
}

TEST(TThreadTaskManager, registeringAnIdAgain_replacesItsRoutine)
{
    Journal journal;
    TThreadTaskManager manager;
    manager.RegisterTask(5, [&](std::atomic<bool>*, TDNXParams*) { journal.Add("old"); });
    manager.RegisterTask(6, [&](std::atomic<bool>*, TDNXParams*) { journal.Add("six"); });
    const TThreadTask entry =
        manager.RegisterTask(5, [&](std::atomic<bool>*, TDNXParams*) { journal.Add("new"); });
    EXPECT_EQ(entry.Id, 5);
    EXPECT_EQ(manager.FindTask(5), 0);
    EXPECT_EQ(manager.FindTask(6), 1);
    manager.PostTask(5, "");
    ASSERT_TRUE(journal.WaitForCount(1));
    EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"new"}));
}
