#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "tasks/TaskManager.h"

namespace {

// A task whose work writes its name where the test can read it.
TTask Named(int id, const std::string& name, std::string& ranLast)
{
    return TTask{id, [name, &ranLast](const std::atomic<bool>&) { ranLast = name; }};
}

// The name the task's work gives; "" for a task without work.
std::string NameOf(const TTask& task, std::string& ranLast)
{
    ranLast.clear();
    if (task.Work) {
        const std::atomic<bool> cancel{false};
        task.Work(cancel);
    }
    return ranLast;
}

}  // namespace

TEST(TTaskManager, tasks_comeOutOldestFirstAndAnEmptyQueueTimesOut)
{
    std::string ranLast;
    TTaskManager queue;
    TTask task = Named(9, "stale", ranLast);
    EXPECT_FALSE(queue.GetTask(task, 0));
    EXPECT_EQ(task.Id, 0);
    EXPECT_FALSE(task.Work);

    EXPECT_TRUE(queue.AddTask(Named(1, "a", ranLast)));
    EXPECT_TRUE(queue.AddTask(TTask()));
    EXPECT_TRUE(queue.AddTask(Named(2, "b", ranLast)));
    EXPECT_EQ(queue.PendingCount(), 3);
    ASSERT_TRUE(queue.GetTask(task, 0));
    EXPECT_EQ(task.Id, 1);
    EXPECT_EQ(NameOf(task, ranLast), "a");
    ASSERT_TRUE(queue.GetTask(task, 0));
    EXPECT_EQ(task.Id, 0);
    EXPECT_EQ(NameOf(task, ranLast), "");
    ASSERT_TRUE(queue.GetTask(task, TTaskManager::Infinite));
    EXPECT_EQ(task.Id, 2);
    EXPECT_EQ(NameOf(task, ranLast), "b");
    EXPECT_FALSE(queue.GetTask(task, 10));
}

TEST(TTaskManager, fullQueue_refusesTheTaskInsteadOfStrandingIt)
{
    std::string ranLast;
    TTaskManager queue;
    for (int i = 0; i < TTaskManager::MaxPending; ++i)
        ASSERT_TRUE(queue.AddTask(Named(i + 1, std::to_string(i), ranLast)));
    EXPECT_FALSE(queue.AddTask(Named(1000, "overflow", ranLast)));
    EXPECT_EQ(queue.PendingCount(), TTaskManager::MaxPending);

    TTask task;
    ASSERT_TRUE(queue.GetTask(task, 0));
    EXPECT_EQ(NameOf(task, ranLast), "0");
    EXPECT_TRUE(queue.AddTask(Named(1001, "last", ranLast)));
    for (int i = 1; i < TTaskManager::MaxPending; ++i) {
        ASSERT_TRUE(queue.GetTask(task, 0));
        ASSERT_EQ(NameOf(task, ranLast), std::to_string(i));
    }
    ASSERT_TRUE(queue.GetTask(task, 0));
    EXPECT_EQ(NameOf(task, ranLast), "last");
    EXPECT_FALSE(queue.GetTask(task, 0));
}
