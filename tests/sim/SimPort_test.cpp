// The simulated module behind the in-process port (the virtual module where there are no
// pseudo-terminals): the link's commands and faults behave as they do on the wire.
#include "sim/SimPort.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "link/KOR_ZEM.h"

namespace {

using TBytes = std::vector<uint8_t>;

struct SimPortFixture : ::testing::Test {
    TModuleSim Sim;
    TSimPort Port{Sim};
    TKOR_ZEM Device;

    void SetUp() override
    {
        Device.SetPort(&Port);
        Port.Open();
    }
};

}  // namespace

TEST_F(SimPortFixture, commandsAndFaults_behaveAsOnTheLine)
{
    EXPECT_TRUE(Device.CheckLink());
    const TBytes pattern{1, 2, 3, 0x55, 0xAA, 6, 7, 8};
    ASSERT_TRUE(Device.WriteParams(40, pattern.data(), static_cast<uint8_t>(pattern.size()), 1000));
    EXPECT_EQ(Sim.ReadMemory(40, 8), pattern);
    uint8_t image[125];
    ASSERT_EQ(Device.ReadParams(0, 125, image, 1000), 125);
    EXPECT_EQ(TBytes(image, image + 125), Sim.ReadMemory(0, 125));

    // One damaged reply is retried; three are the CRC error.
    Sim.ClearReceivedFrames();
    Sim.InjectFault(TSimFault(TSimFault::BadCrc, 1));
    EXPECT_EQ(Device.ReadParams(0, 125, image, 1000), 125);
    EXPECT_EQ(Sim.ReceivedFrames().size(), 2u);
    Sim.InjectFault(TSimFault(TSimFault::BadCrc, 3));
    EXPECT_EQ(Device.ReadParams(0, 125, image, 1000), -1);
    EXPECT_EQ(Device.LastError().Code, 23);

    // Pieces 15 ms apart arrive within a 100 ms first-byte timeout; noise before a frame is
    // skipped.
    TSimFault split(TSimFault::Split);
    split.Pieces = 6;
    split.DelayMs = 15;
    Sim.InjectFault(split);
    EXPECT_EQ(Device.ReadParams(0, 125, image, 100), 125);
    Sim.InjectFault(TSimFault(TSimFault::Noise));
    EXPECT_TRUE(Device.CheckLink());

    // A silent module: three sends, then the timeout.
    Sim.ClearReceivedFrames();
    Sim.InjectFault(TSimFault(TSimFault::Silence, 3));
    EXPECT_FALSE(Device.CheckLink());
    EXPECT_EQ(Device.LastError().Code, 1460);
    EXPECT_EQ(Sim.ReceivedFrames().size(), 3u);

    // A reply that comes after the tool gave up is thrown away, not taken as the next one.
    Sim.WriteMemory(480, TBytes(10, 0x77));
    Device.Protocol()->SetAttempts(1);
    TSimFault late(TSimFault::LateReply);
    late.DelayMs = 150;
    const int replies = Port.Replies();
    Sim.InjectFault(late);
    EXPECT_EQ(Device.ReadParams(0, 10, image, 50), -1);
    // Not before the stale reply has landed.
    while (Port.Replies() != replies + 1)
        std::this_thread::yield();
    uint8_t data[10];
    ASSERT_EQ(Device.ReadParams(480, 10, data, 1000), 10);
    EXPECT_EQ(TBytes(data, data + 10), TBytes(10, 0x77));

    // A hang-up ends the line until it is opened again.
    Sim.InjectFault(TSimFault(TSimFault::HangUp));
    EXPECT_EQ(Device.ReadParams(0, 125, image, 100), -1);
    EXPECT_FALSE(Device.CheckLink());
    Port.Close();
    Port.Open();
    EXPECT_TRUE(Device.CheckLink());
}
