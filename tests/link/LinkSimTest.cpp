// The link against the simulated module through a real pseudo-terminal: every command the
// program issues, with its real arguments, and every fault the module's line can show.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "link/Params_kor_protocol.h"
#include "LinkTestKit.h"
#include "ScriptPort.h"
#include "SimLink.h"

namespace {

using Bytes = TBytes;
using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long long MsSince(TClock::time_point start)
{
    return std::chrono::duration_cast<milliseconds>(TClock::now() - start).count();
}

struct SimLinkFixture : ::testing::Test {
    TSimLink Link;
    TKOR_ZEM& Device = Link.Device;
    TModuleSim& Sim = Link.Sim;

    void SetUp() override { ASSERT_TRUE(Link.Open()) << Link.PortName(); }

    // The protocol-level read, so that a test sees the error itself.
    EProtocol ReadError(uint16_t address, uint8_t count, int timeoutMs)
    {
        try {
            ReadParams(Link.Protocol(), address, count, nullptr, timeoutMs);
        } catch (const EProtocol& e) {
            return e;
        }
        ADD_FAILURE() << "the read succeeded";
        return EProtocol(-1, "");
    }
};

}  // namespace

TEST_F(SimLinkFixture, linkCheckAndSettings_readAndWrittenInTheProgramsBlocks)
{
    EXPECT_TRUE(Device.CheckLink());
    ASSERT_EQ(Sim.ReceivedFrames().size(), 1u);
    EXPECT_EQ(Sim.ReceivedFrames()[0], (Bytes{0x55, 0x6E, 0x03, 0x00, 0x00, 0x01, 0x24, 0x53}));

    uint8_t image[125];
    ASSERT_EQ(Device.ReadParams(0, 125, image, 1000), 125);
    EXPECT_EQ(Bytes(image, image + 125), Sim.ReadMemory(0, 125));
    EXPECT_EQ(Sim.ReceivedFrames()[1], ReadRequest(0, 125));

    for (int i = 0; i < 125; ++i)
        image[i] = static_cast<uint8_t>(200 - i);
    image[5] = 0;  // no keys: the write erases the key table too
    Sim.ClearReceivedFrames();
    ASSERT_TRUE(Device.WriteParams(1, image + 1, 40, 1000));
    ASSERT_TRUE(Device.WriteParams(40, image + 40, 40, 1000));
    ASSERT_TRUE(Device.WriteParams(80, image + 80, 44, 1000));
    const uint8_t erased = 0xFF;
    Sim.WriteMemory(480, Bytes(256, 0x11));
    for (int i = 0; i < 32; ++i)
        ASSERT_TRUE(Device.WriteParams(static_cast<uint16_t>(480 + 8 * i), &erased, 1, 100)) << i;

    EXPECT_EQ(Sim.ReadMemory(1, 123), Bytes(image + 1, image + 124));
    const auto frames = Sim.ReceivedFrames();
    ASSERT_EQ(frames.size(), 35u);
    EXPECT_EQ(frames[0].size(), 47u);
    EXPECT_EQ(Bytes(frames[2].begin(), frames[2].begin() + 5), (Bytes{0x55, 210, 46, 0, 80}));
    EXPECT_EQ(frames[3], KorFrame(210, {0x01, 0xE0, 0xFF}));
    const Bytes keys = Sim.ReadMemory(480, 256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(keys[i], i % 8 == 0 ? 0xFF : 0x11) << i;
}

TEST_F(SimLinkFixture, keyTableAndGprsBlock_travelInTheirBlocks)
{
    std::mt19937 rng(5);
    Bytes table(256);
    for (auto& b : table)
        b = static_cast<uint8_t>(rng());
    for (int k = 0; k < 8; ++k)
        ASSERT_TRUE(Device.WriteParams(static_cast<uint16_t>(480 + 32 * k), table.data() + 32 * k, 32, 1000)) << k;
    const uint8_t count = 17;
    ASSERT_TRUE(Device.WriteParams(5, &count, 1, 1000));
    EXPECT_EQ(Sim.ReadMemory(480, 256), table);
    EXPECT_EQ(Sim.ReadMemory(5, 1), Bytes{17});

    Bytes back(256);
    for (int j = 0; j < 4; ++j)
        ASSERT_EQ(Device.ReadParams(static_cast<uint16_t>(480 + 64 * j), 64, back.data() + 64 * j, 1000), 64) << j;
    EXPECT_EQ(back, table);

    Bytes gprs(128);
    for (auto& b : gprs)
        b = static_cast<uint8_t>(rng());
    for (int k = 0; k < 4; ++k)
        ASSERT_TRUE(Device.WriteParams(static_cast<uint16_t>(736 + 32 * k), gprs.data() + 32 * k, 32, 1000)) << k;
    Bytes gprsBack(128);
    ASSERT_EQ(Device.ReadParams(736, 128, gprsBack.data(), 1000), 128);
    EXPECT_EQ(gprsBack, gprs);
    EXPECT_EQ(Sim.ReceivedFrames().back(), ReadRequest(736, 128));
}

TEST_F(SimLinkFixture, outputCommandsAndKeyReader_reachTheModule)
{
    EXPECT_TRUE(Device.SetOutput(0, 2));
    EXPECT_TRUE(Device.SetOutput(5, 1));
    EXPECT_TRUE(Device.SetOutput(5, 0));
    EXPECT_EQ(Sim.OutputAction(0), 2);
    EXPECT_EQ(Sim.OutputAction(5), 0);
    EXPECT_EQ(Sim.OutputAction(3), -1);
    EXPECT_EQ(Sim.ReceivedFrames()[1], KorFrame(101, {2, 5, 1}));

    const uint8_t code[8] = {0x01, 0x5A, 0x33, 0x10, 0x00, 0x00, 0x00, 0x8C};
    uint8_t key[8] = {};
    EXPECT_EQ(Device.ReadKey(0, nullptr), 0);
    EXPECT_EQ(Sim.ReceivedFrames().back(), KorFrame(101, {3, 0}));
    Sim.PresentKey(code, 2);
    int polls = 0;
    int result = 0;
    while ((result = Device.ReadKey(1, key)) == 0 && polls < 10)
        ++polls;
    EXPECT_EQ(result, 1);
    EXPECT_EQ(polls, 2);
    EXPECT_EQ(Bytes(key, key + 8), Bytes(code, code + 8));
    EXPECT_EQ(Sim.ReceivedFrames().back(), KorFrame(101, {3, 1}));
    EXPECT_EQ(Device.ReadKey(1, key), 0);  // the key was taken once
}

TEST_F(SimLinkFixture, silentModule_givesThreeSendsAndTimeout)
{
    Sim.InjectFault(TSimFault(TSimFault::Silence, -1));
    const auto start = TClock::now();
    const EProtocol e = ReadError(0, 125, 200);
    EXPECT_EQ(e.Code, 1460);
    EXPECT_EQ(e.Message.rfind("Не обнаружен стартовый байт пакета\n", 0), 0u) << e.Message;
    EXPECT_NE(e.Message.find("\nData[0] = ''"), std::string::npos);
    EXPECT_GE(MsSince(start), 3 * 200 + 2 * 10);
    EXPECT_EQ(Sim.ReceivedFrames().size(), 3u);

    // The commands' own timeout: three tries of 100 ms.
    Sim.ClearReceivedFrames();
    const auto check = TClock::now();
    EXPECT_FALSE(Device.CheckLink());
    EXPECT_GE(MsSince(check), 320);
    EXPECT_EQ(Sim.ReceivedFrames().size(), 3u);
    EXPECT_EQ(Device.ReadKey(1, nullptr), -1);
    EXPECT_FALSE(Device.SetOutput(1, 1));
    // Each failed command keeps why; the next success forgets it.
    EXPECT_EQ(Device.LastError().Code, 1460);
    EXPECT_EQ(Device.LastError().Text.rfind("Не обнаружен стартовый байт пакета", 0), 0u) << Device.LastError().Text;
    Sim.ClearFaults();
    EXPECT_TRUE(Device.CheckLink());
    EXPECT_EQ(Device.LastError().Code, 0);
    EXPECT_TRUE(Device.LastError().Text.empty());
}

TEST_F(SimLinkFixture, corruptReplies_retriedThenReportedByCode)
{
    Sim.InjectFault(TSimFault(TSimFault::BadCrc, 1));
    uint8_t image[125];
    EXPECT_EQ(Device.ReadParams(0, 125, image, 1000), 125);
    EXPECT_EQ(Sim.ReceivedFrames().size(), 2u);

    Sim.ClearReceivedFrames();
    Sim.InjectFault(TSimFault(TSimFault::BadCrc, 3));
    EXPECT_EQ(ReadError(0, 125, 1000).Code, 23);
    EXPECT_EQ(Sim.ReceivedFrames().size(), 3u);

    Sim.InjectFault(TSimFault(TSimFault::WrongFunction, 3));
    const EProtocol wrong = ReadError(0, 1, 100);
    EXPECT_EQ(wrong.Code, 22);
    EXPECT_EQ(wrong.Message.rfind("Wrong function byte in reply\nPacket[8] = '85 110 3 0 0 1 36 83'\nData[6] = '85 210 1 ", 0), 0u)
        << wrong.Message;
    Sim.InjectFault(TSimFault(TSimFault::WrongFunction, 3));
    EXPECT_FALSE(Device.WriteParams(1, image, 1, 1000));
    EXPECT_EQ(Device.LastError().Code, 22);

    // A reply cut short: the length it reached and the one it announced.
    Sim.InjectFault(TSimFault(TSimFault::ShortReply, 3));
    const EProtocol shortReply = ReadError(0, 125, 100);
    EXPECT_EQ(shortReply.Code, 1460);
    EXPECT_EQ(shortReply.Message.rfind("Полученная длина (129) не равна требуемой (130)", 0), 0u) << shortReply.Message;
    Sim.InjectFault(TSimFault(TSimFault::ShortReply, 1));
    EXPECT_EQ(Device.ReadParams(0, 125, image, 1000), 125);
    EXPECT_TRUE(Device.CheckLink());
}

TEST_F(SimLinkFixture, noisyDelayedAndSplitReplies_areAccepted)
{
    TSimFault noise(TSimFault::Noise);
    noise.NoiseBytes = {0x00, 0xFF, 0x13, 0xAA};
    Sim.InjectFault(noise);
    uint8_t image[125];
    EXPECT_EQ(Device.ReadParams(0, 125, image, 1000), 125);
    EXPECT_EQ(Sim.ReceivedFrames().size(), 1u);

    // A stray start byte makes a frame that never ends; the next attempt gets the real one.
    noise.NoiseBytes = {0x55, 0x01};
    Sim.InjectFault(noise);
    Sim.ClearReceivedFrames();
    EXPECT_TRUE(Device.CheckLink());
    EXPECT_EQ(Sim.ReceivedFrames().size(), 2u);

    TSimFault split(TSimFault::Split);
    split.Pieces = 6;
    split.DelayMs = 15;
    Sim.InjectFault(split);
    Sim.ClearReceivedFrames();
    EXPECT_EQ(Device.ReadParams(0, 125, image, 100), 125);
    EXPECT_EQ(Bytes(image, image + 125), Sim.ReadMemory(0, 125));
    EXPECT_EQ(Sim.ReceivedFrames().size(), 1u);

    TSimFault delay(TSimFault::Delay);
    delay.DelayMs = 60;
    Sim.InjectFault(delay);
    Sim.ClearReceivedFrames();
    EXPECT_TRUE(Device.CheckLink());
    EXPECT_EQ(Sim.ReceivedFrames().size(), 1u);
}

TEST_F(SimLinkFixture, moreDataThanAsked_isReportedAndNeverOverrunsTheDestination)
{
    TSimFault extra(TSimFault::ExtraData);
    extra.ExtraBytes = 3;
    Sim.InjectFault(extra);
    uint8_t keys[64 + 8];
    std::fill(std::begin(keys), std::end(keys), 0xA5);
    EXPECT_EQ(Device.ReadParams(480, 64, keys, 1000), 67);
    for (int i = 64; i < 72; ++i)
        EXPECT_EQ(keys[i], 0xA5) << i;

    Sim.InjectFault(TSimFault(TSimFault::ExtraData));
    EXPECT_FALSE(Device.CheckLink());
}

TEST_F(SimLinkFixture, lateReply_isPurgedNotTakenByTheNextExchange)
{
    Sim.WriteMemory(480, Bytes(10, 0x77));
    Link.Protocol().SetAttempts(1);
    TSimFault late(TSimFault::LateReply);
    late.DelayMs = 150;
    Sim.InjectFault(late);
    EXPECT_EQ(ReadError(0, 10, 50).Code, 1460);
    // Not before the stale reply, all 15 bytes of it, waits on the line.
    ASSERT_TRUE(WaitFor([&] {
        TComStat line;
        Link.Com.GetComPort()->ClearErrors(line);
        return Link.Pty.RepliesSent() == 1 && line.cbInQue == 15;
    }));
    uint8_t data[10];
    ASSERT_EQ(Device.ReadParams(480, 10, data, 1000), 10);
    EXPECT_EQ(Bytes(data, data + 10), Bytes(10, 0x77));
}

TEST_F(SimLinkFixture, hangUpMidReply_raisesWithoutHangingOrSpinning)
{
    Sim.InjectFault(TSimFault(TSimFault::HangUp));
    try {
        ReadParams(Link.Protocol(), 0, 125, nullptr, 1000);
        FAIL() << "no exception";
    } catch (const TComPortException& e) {
        EXPECT_FALSE(e.Message.empty());
    }
    EXPECT_EQ(Sim.ReceivedFrames().size(), 1u);  // a port failure is not retried
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Device.ReadParams(0, 1, nullptr, 1000), -1);
    EXPECT_TRUE(Device.LastError().PortFailure);
    Link.Close();
    EXPECT_FALSE(Link.Open());
}

TEST_F(SimLinkFixture, portHeldByAnotherProcess_doesNotOpen)
{
    Link.Close();
    // Opened in the child only. Its exit runs no destructors, so the child closes it as a program
    // ending normally would: left set, the exclusive flag would outlive the child, since the
    // simulator keeps the slave open.
    TComPort other;
    TChild holder;
    ASSERT_TRUE(holder.Start(
        [&] {
            other.OpenByName(Link.PortName());
            return other.IsOpen();
        },
        [&] { other.Close(); }));
    EXPECT_FALSE(Link.Open());
    const int reason = Link.Com.GetComPort()->LastOpenError();
    EXPECT_TRUE(reason == EWOULDBLOCK || reason == EBUSY) << reason;

    holder.Stop();
    ASSERT_TRUE(Link.Open());
    EXPECT_TRUE(Device.CheckLink());
}

TEST_F(SimLinkFixture, portOpenedPerOperation_keepsWorkingAcrossReopens)
{
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(Link.Open()) << i;
        EXPECT_TRUE(Device.CheckLink()) << i;
        Link.Close();
    }
    EXPECT_FALSE(Device.CheckLink());  // closed: a failure, not a crash
    EXPECT_EQ(Sim.ReceivedFrames().size(), 10u);
}
