#include "sim/ModuleSim.h"
#include "SlaveLine.h"

#include "LinkTestKit.h"
#include "TempFiles.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono;

constexpr int kReplyWaitMs = 1000;

TBytes ReadData(int address, int count)
{
    return {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), static_cast<uint8_t>(count)};
}

// The simulated module on a pty, and the tool's end of the line.
struct SimPtyLine : ::testing::Test {
    TModuleSim Sim;
    TSimPty Pty{Sim};
    TSlaveLine Line{Pty.SlavePath()};

    void SetUp() override { ASSERT_TRUE(Line.IsOpen()); }
};

}  // namespace

TEST_F(SimPtyLine, linkCheckOverThePty_getsAddressZero_andTheExactRequestIsRecorded)
{
    const TBytes request{0x55, 0x6E, 0x03, 0x00, 0x00, 0x01, 0x24, 0x53};
    ASSERT_TRUE(Line.Send(request));
    EXPECT_EQ(Line.ReadFrame(kReplyWaitMs), TModuleSim::MakeFrame(110, {0}));
    EXPECT_EQ(Sim.ReceivedFrames(), std::vector<TBytes>{request});
}

TEST_F(SimPtyLine, everyCommandOfTheTool_isAnsweredThroughTheLine)
{
    TBytes keys{0x01, 0xE0};
    keys.resize(2 + 32, 0x5A);  // address 480, then 32 bytes of slots
    EXPECT_EQ(Line.Exchange(210, keys), TModuleSim::MakeFrame(210, {}));
    TBytes settings = Line.Exchange(110, ReadData(480, 64));
    ASSERT_EQ(settings.size(), 69u);
    EXPECT_EQ(TBytes(settings.begin() + 3, settings.begin() + 3 + 32), TBytes(32, 0x5A));
    EXPECT_EQ(TBytes(settings.begin() + 35, settings.end() - 2), TBytes(32, 0xFF));

    EXPECT_EQ(Line.Exchange(110, ReadData(0, 125)).size(), 130u);
    EXPECT_EQ(Line.Exchange(110, ReadData(736, 128)).size(), 133u);

    EXPECT_EQ(Line.Exchange(101, {2, 1, 3}), TModuleSim::MakeFrame(101, {}));
    EXPECT_EQ(Sim.OutputAction(1), 3);

    const uint8_t key[8] = {0x01, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x9C};
    Sim.PresentKey(key, 1);
    EXPECT_EQ(Line.Exchange(101, {3, 0}), TModuleSim::MakeFrame(101, {}));
    EXPECT_EQ(Line.Exchange(101, {3, 1}), TModuleSim::MakeFrame(101, {}));
    EXPECT_EQ(Line.Exchange(101, {3, 1}), TModuleSim::MakeFrame(101, TBytes(key, key + 8)));
    EXPECT_EQ(Sim.ReceivedFrames().size(), 8u);
}

TEST_F(SimPtyLine, requestInPiecesAfterGarbage_isStillAnswered)
{
    const TBytes request = TModuleSim::MakeFrame(110, ReadData(0, 1));
    // Each piece is taken off the line before the next is sent.
    Line.Send({0x00, 0x55, 0x13});  // a stray start byte announcing a long frame
    ASSERT_TRUE(WaitFor([&] { return Pty.BytesTaken() == 3; }));
    Line.Send(TBytes(request.begin(), request.begin() + 3));
    ASSERT_TRUE(WaitFor([&] { return Pty.BytesTaken() == 6; }));
    Line.Send(TBytes(request.begin() + 3, request.end()));
    EXPECT_EQ(Line.ReadFrame(kReplyWaitMs), TModuleSim::MakeFrame(110, {0}));
}

TEST(SimPty, toolClosingAndReopeningTheSlave_findsTheModuleStillThere)
{
    TModuleSim sim;
    TSimPty pty(sim);
    {
        TSlaveLine line(pty.SlavePath());
        EXPECT_EQ(line.Exchange(110, ReadData(0, 1)), TModuleSim::MakeFrame(110, {0}));
    }
    for (int i = 0; i < 3; ++i) {
        TSlaveLine line(pty.SlavePath());
        ASSERT_TRUE(line.IsOpen());
        EXPECT_EQ(line.Exchange(110, ReadData(3, 1)), TModuleSim::MakeFrame(110, {147}));
    }
    EXPECT_TRUE(pty.LineUp());
}

TEST_F(SimPtyLine, silenceAndDelay_holdTheReplyBackAsLongAsAsked)
{
    // The module answers in turn, so a reply to the first request would come before the second's.
    Sim.InjectFault(TSimFault{TSimFault::Silence});
    Line.Send(ReadRequest(0, 1));
    EXPECT_EQ(Line.Exchange(110, ReadData(3, 1)), TModuleSim::MakeFrame(110, {147}));

    TSimFault delay{TSimFault::Delay};
    delay.DelayMs = 80;
    Sim.InjectFault(delay);
    const auto start = steady_clock::now();
    EXPECT_EQ(Line.Exchange(110, ReadData(0, 1)), TModuleSim::MakeFrame(110, {0}));
    EXPECT_GE(steady_clock::now() - start, milliseconds(80));
}

TEST_F(SimPtyLine, lateReply_arrivesAfterTheTimeout_andAPurgeBeforeTheNextRequestDropsIt)
{
    TSimFault late{TSimFault::LateReply};
    late.DelayMs = 150;
    Sim.InjectFault(late);
    EXPECT_TRUE(Line.Exchange(110, ReadData(3, 1), 100).empty());
    // Flushed only once the late reply is waiting in the line.
    ASSERT_TRUE(WaitFor([&] { return Pty.RepliesSent() == 1 && PendingInput(Line.Fd()) == 6; }));
    tcflush(Line.Fd(), TCIFLUSH);
    EXPECT_EQ(Line.Exchange(110, ReadData(9, 1)), TModuleSim::MakeFrame(110, {208}));
    EXPECT_TRUE(Line.ReadFor(50).empty());
}

TEST_F(SimPtyLine, damagedRepliesNoiseAndExtraData_goOutAsInjected)
{
    const TBytes good = TModuleSim::MakeFrame(110, {147});

    Sim.InjectFault(TSimFault{TSimFault::BadCrc});
    TBytes got = Line.Exchange(110, ReadData(3, 1));
    EXPECT_EQ(TBytes(got.begin(), got.begin() + 4), TBytes(good.begin(), good.begin() + 4));
    EXPECT_NE(got, good);

    Sim.InjectFault(TSimFault{TSimFault::WrongFunction});
    EXPECT_EQ(Line.Exchange(110, ReadData(3, 1)), TModuleSim::MakeFrame(210, {147}));

    TSimFault noise{TSimFault::Noise};
    noise.NoiseBytes = {0x00, 0xFF, 0x55, 0x6E};
    Sim.InjectFault(noise);
    Line.Send(TModuleSim::MakeFrame(110, ReadData(3, 1)));
    TBytes expected = noise.NoiseBytes;
    expected.insert(expected.end(), good.begin(), good.end());
    EXPECT_EQ(Line.ReadCount(expected.size()), expected);

    TSimFault shortReply{TSimFault::ShortReply};
    Sim.InjectFault(shortReply);
    Line.Send(TModuleSim::MakeFrame(110, ReadData(3, 1)));
    EXPECT_EQ(Line.ReadCount(good.size() - 1), TBytes(good.begin(), good.end() - 1));

    TSimFault extra{TSimFault::ExtraData};
    extra.ExtraBytes = 1;
    Sim.InjectFault(extra);
    EXPECT_EQ(Line.Exchange(110, ReadData(0, 1)), TModuleSim::MakeFrame(110, {0, 0}));
}

TEST_F(SimPtyLine, splitReply_arrivesInPiecesWithGaps)
{
    TSimFault split{TSimFault::Split};
    split.Pieces = 2;
    split.DelayMs = 60;
    Sim.InjectFault(split);
    const auto start = steady_clock::now();
    Line.Send(TModuleSim::MakeFrame(110, ReadData(0, 125)));
    EXPECT_EQ(Line.ReadCount(130), TModuleSim::MakeFrame(110, TBytes(TModuleSim::kFactoryDefaults, TModuleSim::kFactoryDefaults + 125)));
    EXPECT_GE(steady_clock::now() - start, milliseconds(60)) << "the second piece came without its gap";
}

TEST(SimPty, hangUpInTheMiddleOfAReply_endsTheLineWithoutHangingTheTool)
{
    TModuleSim sim;
    auto pty = std::make_unique<TSimPty>(sim);
    TSlaveLine line(pty->SlavePath());
    sim.InjectFault(TSimFault{TSimFault::HangUp});
    const TBytes got = line.Exchange(110, ReadData(0, 125), 10000);
    EXPECT_TRUE(line.HungUp);
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), 130u);
    EXPECT_FALSE(pty->LineUp());
    pty.reset();
}

TEST(SimPty, lineTiming_paysEachByteItsTimeOnTheWire_butNoMore)
{
    TModuleSim sim;
    TSimPty pty(sim, true);
    TSlaveLine line(pty.SlavePath());
    line.Exchange(110, ReadData(0, 1));  // warm up

    // Never faster than the wire; how close to it is the benchmark's to tell.
    const double wireMs = (8 + 130) * TSimPty::kByteMicros / 1000.0;
    const auto start = steady_clock::now();
    line.Send(TModuleSim::MakeFrame(110, ReadData(0, 125)));
    EXPECT_EQ(line.ReadCount(130).size(), 130u);
    const double ms = duration<double, std::milli>(steady_clock::now() - start).count();
    EXPECT_GE(ms, wireMs);
}

TEST(SimPty, link_pointsAtTheSlave_replacesAnOldLinkOnly_andGoesAwayWithThePty)
{
    TTempDir dir;
    const std::string link = dir / "port";
    const std::string plain = dir / "file";
    ASSERT_EQ(symlink("/nonexistent", link.c_str()), 0);
    WriteFile(plain, "keep me");
    {
        TModuleSim sim;
        TSimPty pty(sim);
        ASSERT_TRUE(pty.MakeLink(link));
        EXPECT_FALSE(pty.MakeLink(plain));
        TSlaveLine line(link);
        ASSERT_TRUE(line.IsOpen());
        EXPECT_EQ(line.Exchange(110, ReadData(0, 1)), TModuleSim::MakeFrame(110, {0}));
    }
    EXPECT_FALSE(Exists(link));
    EXPECT_TRUE(Exists(plain));
}
