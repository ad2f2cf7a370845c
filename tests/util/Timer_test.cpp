#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "util/Dnxperformance.h"
#include "util/Timer.h"

TEST(CDNXTimer, neverStarted_isExpiredAtOnce)
{
    CDNXTimer timer;
    EXPECT_EQ(timer.RemainingAt(100, 5000), 0);
    EXPECT_TRUE(timer.ExpiredAt(100, 5000));
    EXPECT_EQ(timer.Remaining(100), 0);
}

TEST(CDNXTimer, afterRestart_countsDownAndExpiresExactlyAtTheInterval)
{
    CDNXTimer timer;
    timer.FStart = 1000;
    EXPECT_EQ(timer.RemainingAt(100, 1000), 100);
    EXPECT_EQ(timer.RemainingAt(100, 1099), 1);
    EXPECT_FALSE(timer.ExpiredAt(100, 1099));
    EXPECT_TRUE(timer.ExpiredAt(100, 1100));
    EXPECT_TRUE(timer.ExpiredAt(100, 5000));  // stays expired without auto-restart
    EXPECT_EQ(timer.FStart, 1000u);

    timer.Restart();
    EXPECT_GT(timer.Remaining(60000), 0);
    EXPECT_FALSE(timer.Expired(60000));
}

TEST(CDNXTimer, autoRestart_restartsWhenFoundExpiredSoTheNextCallIsFalse)
{
    CDNXTimer timer;
    timer.FAutoRestart = true;
    timer.FStart = 1000;
    EXPECT_FALSE(timer.ExpiredAt(100, 1050));
    EXPECT_EQ(timer.FStart, 1000u);
    EXPECT_TRUE(timer.ExpiredAt(100, 1130));
    EXPECT_EQ(timer.FStart, 1130u);
    EXPECT_FALSE(timer.ExpiredAt(100, 1131));
    EXPECT_TRUE(timer.ExpiredAt(100, 1230));
}

TEST(CDNXTimer, counterWrapSinceTheRestart_isMeasuredAcrossTheWrap)
{
    CDNXTimer timer;
    timer.FStart = UINT32_MAX - 15;  // 16 ms before the wrap
    const uint32_t now = 16;         // 16 ms after it
    EXPECT_EQ(timer.RemainingAt(100, now), 100 - 32);
    EXPECT_FALSE(timer.ExpiredAt(32 + 1, now));
    EXPECT_TRUE(timer.ExpiredAt(32, now));
}

TEST(CDNXTimer, disabled_neverExpiresAndReportsMinusOne)
{
    CDNXTimer timer;
    timer.FEnabled = false;
    EXPECT_EQ(timer.RemainingAt(100, 5000), -1);
    EXPECT_FALSE(timer.ExpiredAt(100, 5000));
    timer.FAutoRestart = true;
    EXPECT_FALSE(timer.ExpiredAt(0, 5000));
    EXPECT_EQ(timer.FStart, 0u);
}

TEST(CDNXTimer, intervalBeyondTheIntRange_isNeverTakenForDisabled)
{
    CDNXTimer timer;
    timer.FStart = 1000;
    EXPECT_EQ(timer.RemainingAt(UINT32_MAX, 1000), INT_MAX);
    EXPECT_EQ(timer.RemainingAt(0x80000000u, 1000), INT_MAX);
    EXPECT_EQ(timer.RemainingAt(0x80000000u, 1001), INT_MAX);
    EXPECT_FALSE(timer.ExpiredAt(UINT32_MAX, 1001));
}

TEST(CDNXOpTime, stoppedOperation_keepsItsElapsedTime)
{
    CDNXOpTime op;
    op.FStart = 100;
    op.FStop = 350;
    EXPECT_EQ(op.Elapsed(), 250u);
    op.Start();
    EXPECT_EQ(op.FStop, 0u);
    EXPECT_LT(op.Elapsed(), 60000u);  // running: measured against now
    op.Stop();
    EXPECT_NE(op.FStop, 0u);
    EXPECT_EQ(op.Elapsed(), op.FStop - op.FStart);
}
