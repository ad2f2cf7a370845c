#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tasks/DNXParams.h"
#include "tasks/TaskManager.h"

TEST(TDNXParams, delimitedText_givesOneValuePerPieceWithZeroForEmptyOrNonNumbers)
{
    const struct {
        const char* Text;
        char Separator;
        std::vector<float> Values;
    } cases[] = {
        {"", ',', {}},
        {"1,,2.5", ',', {1.0f, 0.0f, 2.5f}},
        {"1,", ',', {1.0f, 0.0f}},
        {"  -2.5e1x; 7 ;abc;+3;-;+-4;.5", ';', {-25.0f, 7.0f, 0.0f, 3.0f, 0.0f, 0.0f, 0.5f}},
        {"42", ',', {42.0f}},
        {"0.1", ',', {0.1f}},  // narrowed to 32 bits
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        const TDNXParams params(c.Text, c.Separator);
        std::vector<float> values;
        for (int i = 0; i < params.ParamCount(); ++i)
            values.push_back(params.GetParam(i));
        EXPECT_EQ(values, c.Values);
        EXPECT_EQ(params.GetParam(params.ParamCount()), 0.0f);
        EXPECT_EQ(params.GetParam(-1), 0.0f);
    }
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
