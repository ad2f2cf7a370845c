#include <gtest/gtest.h>

#include <string>

#include "DNXParams.h"
#include "TaskManager.h"

TEST(TDNXParams, delimitedText_givesOneValuePerPieceWithZeroForEmptyOrNonNumbers)
{
    TDNXParams empty("", ',');
    EXPECT_EQ(empty.ParamCount(), 0);
    EXPECT_EQ(empty.GetParam(0), 0.0f);

    TDNXParams gap("1,,2.5", ',');
    ASSERT_EQ(gap.ParamCount(), 3);
    EXPECT_EQ(gap.GetParam(0), 1.0f);
    EXPECT_EQ(gap.GetParam(1), 0.0f);
    EXPECT_EQ(gap.GetParam(2), 2.5f);
    EXPECT_EQ(gap.GetParam(3), 0.0f);
    EXPECT_EQ(gap.GetParam(-1), 0.0f);

    TDNXParams message("1,", ',');
    ASSERT_EQ(message.ParamCount(), 2);
    EXPECT_EQ(message.GetParam(0), 1.0f);
    EXPECT_EQ(message.GetParam(1), 0.0f);

    TDNXParams loose("  -2.5e1x; 7 ;abc;+3;-;+-4;.5", ';');
    ASSERT_EQ(loose.ParamCount(), 7);
    EXPECT_EQ(loose.GetParam(0), -25.0f);
    EXPECT_EQ(loose.GetParam(1), 7.0f);
    EXPECT_EQ(loose.GetParam(2), 0.0f);
    EXPECT_EQ(loose.GetParam(3), 3.0f);
    EXPECT_EQ(loose.GetParam(4), 0.0f);
    EXPECT_EQ(loose.GetParam(5), 0.0f);
    EXPECT_EQ(loose.GetParam(6), 0.5f);

    TDNXParams single("42", ',');
    ASSERT_EQ(single.ParamCount(), 1);
    EXPECT_EQ(single.GetParam(0), 42.0f);
    EXPECT_EQ(TDNXParams("0.1", ',').GetParam(0), 0.1f);  // narrowed to 32 bits
}

TEST(TTaskManager, messages_comeOutOldestFirstAndAnEmptyQueueTimesOut)
{
    TTaskManager queue;
    std::string message = "stale";
    EXPECT_FALSE(queue.GetTask(message, 0));
    EXPECT_EQ(message, "");

    EXPECT_TRUE(queue.AddTask("1,a", false));
    EXPECT_TRUE(queue.AddTask("", false));
    EXPECT_TRUE(queue.AddTask("2,b", false));
    EXPECT_TRUE(queue.HasTask("2,b"));
    EXPECT_FALSE(queue.HasTask("3,c"));
    ASSERT_TRUE(queue.GetTask(message, 0));
    EXPECT_EQ(message, "1,a");
    ASSERT_TRUE(queue.GetTask(message, 0));
    EXPECT_EQ(message, "");
    ASSERT_TRUE(queue.GetTask(message, TTaskManager::Infinite));
    EXPECT_EQ(message, "2,b");
    EXPECT_FALSE(queue.GetTask(message, 10));
}

TEST(TTaskManager, uniqueMessage_isNotQueuedTwice)
{
    TTaskManager queue;
    EXPECT_TRUE(queue.AddTask("1,", true));
    EXPECT_FALSE(queue.AddTask("1,", true));
    EXPECT_TRUE(queue.AddTask("1,", false));
    EXPECT_EQ(queue.PendingCount(), 2);
}

TEST(TTaskManager, fullQueue_refusesTheMessageInsteadOfStrandingIt)
{
    TTaskManager queue;
    for (int i = 0; i < TTaskManager::MaxPending; ++i)
        ASSERT_TRUE(queue.AddTask(std::to_string(i), false));
    EXPECT_FALSE(queue.AddTask("overflow", false));
    EXPECT_FALSE(queue.HasTask("overflow"));

    std::string message;
    ASSERT_TRUE(queue.GetTask(message, 0));
    EXPECT_EQ(message, "0");
    EXPECT_TRUE(queue.AddTask("last", false));
    for (int i = 1; i < TTaskManager::MaxPending; ++i) {
        ASSERT_TRUE(queue.GetTask(message, 0));
        ASSERT_EQ(message, std::to_string(i));
    }
    ASSERT_TRUE(queue.GetTask(message, 0));
    EXPECT_EQ(message, "last");
    EXPECT_FALSE(queue.GetTask(message, 0));
}
