#include "ModuleSim.h"
#include "SlaveLine.h"

#include "Kor_protocol1.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <sys/stat.h>
#include <thread>

namespace {

using TBytes = std::vector<uint8_t>;
using namespace std::chrono;

constexpr int kReplyWaitMs = 1000;

double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

TBytes ReadData(int address, int count)
{
    return {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), static_cast<uint8_t>(count)};
}

// Milliseconds from now until the line has delivered n bytes (or the time is up).
double MsUntilBytes(TSlaveLine& line, size_t n, TBytes& got, int timeoutMs)
{
    const auto start = steady_clock::now();
    while (got.size() < n) {
        TBytes more = line.ReadFor(5);
        got.insert(got.end(), more.begin(), more.end());
        if (steady_clock::now() - start > milliseconds(timeoutMs))
            break;
    }
    return duration<double, std::milli>(steady_clock::now() - start).count();
}

}  // namespace

TEST(SimPty, linkCheckOverThePty_getsAddressZero_andTheExactRequestIsRecorded)
{
    TModuleSim sim;
    TSimPty pty(sim);
    TSlaveLine line(pty.SlavePath());
    ASSERT_TRUE(line.IsOpen());
    const TBytes request{0x55, 0x6E, 0x03, 0x00, 0x00, 0x01, 0x24, 0x53};
    ASSERT_TRUE(line.Send(request));
    EXPECT_EQ(line.ReadFrame(kReplyWaitMs), TModuleSim::MakeFrame(110, {0}));
    EXPECT_EQ(sim.ReceivedFrames(), std::vector<TBytes>{request});
}

TEST(SimPty, everyCommandOfTheTool_isAnsweredThroughTheLine)
{
    TModuleSim sim;
    TSimPty pty(sim);
    TSlaveLine line(pty.SlavePath());

    TBytes keys{0x01, 0xE0};
    keys.resize(2 + 32, 0x5A);  // address 480, then 32 bytes of slots
    EXPECT_EQ(line.Exchange(210, keys), TModuleSim::MakeFrame(210, {}));
    TBytes settings = line.Exchange(110, ReadData(480, 64));
    ASSERT_EQ(settings.size(), 69u);
    EXPECT_EQ(TBytes(settings.begin() + 3, settings.begin() + 3 + 32), TBytes(32, 0x5A));
    EXPECT_EQ(TBytes(settings.begin() + 35, settings.end() - 2), TBytes(32, 0xFF));

    EXPECT_EQ(line.Exchange(110, ReadData(0, 125)).size(), 130u);
    EXPECT_EQ(line.Exchange(110, ReadData(736, 128)).size(), 133u);

    EXPECT_EQ(line.Exchange(101, {2, 1, 3}), TModuleSim::MakeFrame(101, {}));
    EXPECT_EQ(sim.OutputAction(1), 3);

    const uint8_t key[8] = {0x01, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x9C};
    sim.PresentKey(key, 1);
    EXPECT_EQ(line.Exchange(101, {3, 0}), TModuleSim::MakeFrame(101, {}));
    EXPECT_EQ(line.Exchange(101, {3, 1}), TModuleSim::MakeFrame(101, {}));
    EXPECT_EQ(line.Exchange(101, {3, 1}), TModuleSim::MakeFrame(101, TBytes(key, key + 8)));
    EXPECT_EQ(sim.ReceivedFrames().size(), 8u);
}

TEST(SimPty, requestInPiecesAfterGarbage_isStillAnswered)
{
    TModuleSim sim;
    TSimPty pty(sim);
    TSlaveLine line(pty.SlavePath());
    const TBytes request = TModuleSim::MakeFrame(110, ReadData(0, 1));
    line.Send({0x00, 0x55, 0x13});  // a stray start byte announcing a long frame
    std::this_thread::sleep_for(milliseconds(5));
    line.Send(TBytes(request.begin(), request.begin() + 3));
    std::this_thread::sleep_for(milliseconds(5));
    line.Send(TBytes(request.begin() + 3, request.end()));
    EXPECT_EQ(line.ReadFrame(kReplyWaitMs), TModuleSim::MakeFrame(110, {0}));
}

TEST(SimPty, toolClosingAndReopeningTheSlave_findsTheModuleStillThere_andIdleCostsNoCpu)
{
    TModuleSim sim;
    TSimPty pty(sim);
    {
        TSlaveLine line(pty.SlavePath());
        EXPECT_EQ(line.Exchange(110, ReadData(0, 1)), TModuleSim::MakeFrame(110, {0}));
    }
    const double before = CpuMs();
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_LT(CpuMs() - before, 30.0) << "the line's thread spins while the slave is closed";
    for (int i = 0; i < 3; ++i) {
        TSlaveLine line(pty.SlavePath());
        ASSERT_TRUE(line.IsOpen());
        EXPECT_EQ(line.Exchange(110, ReadData(3, 1)), TModuleSim::MakeFrame(110, {147}));
    }
    EXPECT_TRUE(pty.LineUp());
}

TEST(SimPty, silenceAndDelay_holdTheReplyBackAsLongAsAsked)
{
    TModuleSim sim;
    TSimPty pty(sim);
    TSlaveLine line(pty.SlavePath());
    sim.InjectFault(TSimFault{TSimFault::Silence});
    EXPECT_TRUE(line.Exchange(110, ReadData(0, 1), 150).empty());
    EXPECT_EQ(line.Exchange(110, ReadData(0, 1)), TModuleSim::MakeFrame(110, {0}));

    TSimFault delay{TSimFault::Delay};
    delay.DelayMs = 80;
    sim.InjectFault(delay);
    const auto start = steady_clock::now();
    EXPECT_EQ(line.Exchange(110, ReadData(0, 1)), TModuleSim::MakeFrame(110, {0}));
    EXPECT_GE(steady_clock::now() - start, milliseconds(80));
}

TEST(SimPty, lateReply_arrivesAfterTheTimeout_andAPurgeBeforeTheNextRequestDropsIt)
{
    TModuleSim sim;
    TSimPty pty(sim);
    TSlaveLine line(pty.SlavePath());
    TSimFault late{TSimFault::LateReply};
    late.DelayMs = 150;
    sim.InjectFault(late);
    EXPECT_TRUE(line.Exchange(110, ReadData(3, 1), 100).empty());
    std::this_thread::sleep_for(milliseconds(100));  // the late reply is now waiting in the line
    tcflush(line.Fd(), TCIFLUSH);
    EXPECT_EQ(line.Exchange(110, ReadData(9, 1)), TModuleSim::MakeFrame(110, {208}));
    EXPECT_TRUE(line.ReadFor(50).empty());
}

TEST(SimPty, damagedRepliesNoiseAndExtraData_goOutAsInjected)
{
    TModuleSim sim;
    TSimPty pty(sim);
    TSlaveLine line(pty.SlavePath());
    const TBytes good = TModuleSim::MakeFrame(110, {147});

    sim.InjectFault(TSimFault{TSimFault::BadCrc});
    TBytes got = line.Exchange(110, ReadData(3, 1));
    EXPECT_EQ(TBytes(got.begin(), got.begin() + 4), TBytes(good.begin(), good.begin() + 4));
    EXPECT_NE(got, good);

    sim.InjectFault(TSimFault{TSimFault::WrongFunction});
    EXPECT_EQ(line.Exchange(110, ReadData(3, 1)), TModuleSim::MakeFrame(210, {147}));

    TSimFault noise{TSimFault::Noise};
    noise.NoiseBytes = {0x00, 0xFF, 0x55, 0x6E};
    sim.InjectFault(noise);
    line.Send(TModuleSim::MakeFrame(110, ReadData(3, 1)));
    got = line.ReadFor(100);
    TBytes expected = noise.NoiseBytes;
    expected.insert(expected.end(), good.begin(), good.end());
    EXPECT_EQ(got, expected);

    TSimFault shortReply{TSimFault::ShortReply};
    sim.InjectFault(shortReply);
    line.Send(TModuleSim::MakeFrame(110, ReadData(3, 1)));
    EXPECT_EQ(line.ReadFor(100), TBytes(good.begin(), good.end() - 1));

    TSimFault extra{TSimFault::ExtraData};
    extra.ExtraBytes = 1;
    sim.InjectFault(extra);
    EXPECT_EQ(line.Exchange(110, ReadData(0, 1)), TModuleSim::MakeFrame(110, {0, 0}));
}

TEST(SimPty, splitReply_arrivesInPiecesWithGaps)
{
    TModuleSim sim;
    TSimPty pty(sim);
    TSlaveLine line(pty.SlavePath());
    TSimFault split{TSimFault::Split};
    split.Pieces = 2;
    split.DelayMs = 60;
    sim.InjectFault(split);
    line.Send(TModuleSim::MakeFrame(110, ReadData(0, 125)));
    TBytes got;
    MsUntilBytes(line, 1, got, kReplyWaitMs);
    std::this_thread::sleep_for(milliseconds(20));
    TBytes more = line.ReadFor(5);
    got.insert(got.end(), more.begin(), more.end());
    EXPECT_EQ(got.size(), 65u) << "the second piece came without its gap";
    const double waited = MsUntilBytes(line, 130, got, kReplyWaitMs);
    EXPECT_GE(waited, 25.0);
    EXPECT_EQ(got, TModuleSim::MakeFrame(110, TBytes(TModuleSim::kFactoryDefaults, TModuleSim::kFactoryDefaults + 125)));
}

TEST(SimPty, hangUpInTheMiddleOfAReply_endsTheLineWithoutHangingTheTool)
{
    TModuleSim sim;
    auto pty = std::make_unique<TSimPty>(sim);
    TSlaveLine line(pty->SlavePath());
    sim.InjectFault(TSimFault{TSimFault::HangUp});
    const auto start = steady_clock::now();
    const TBytes got = line.Exchange(110, ReadData(0, 125), 2000);
    EXPECT_LT(steady_clock::now() - start, milliseconds(1000));
    EXPECT_TRUE(line.HungUp);
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), 130u);
    EXPECT_FALSE(pty->LineUp());
    const auto stopping = steady_clock::now();
    pty.reset();
    EXPECT_LT(steady_clock::now() - stopping, milliseconds(500));
}

TEST(SimPty, lineTiming_paysEachByteItsTimeOnTheWire_butNoMore)
{
    TModuleSim sim;
    TSimPty pty(sim, true);
    TSlaveLine line(pty.SlavePath());
    line.Exchange(110, ReadData(0, 1));  // warm up

    const double wireMs = (8 + 130) * TSimPty::kByteMicros / 1000.0;
    const auto start = steady_clock::now();
    line.Send(TModuleSim::MakeFrame(110, ReadData(0, 125)));
    TBytes got;
    MsUntilBytes(line, 130, got, kReplyWaitMs);
    const double ms = duration<double, std::milli>(steady_clock::now() - start).count();
    ASSERT_EQ(got.size(), 130u);
    EXPECT_GE(ms, wireMs);
    EXPECT_LT(ms, wireMs * 3) << "pacing far slower than the line";

    // The first bytes of the reply are out long before the last: paced, not sent at the end.
    line.Send(TModuleSim::MakeFrame(110, ReadData(0, 125)));
    TBytes first;
    MsUntilBytes(line, 1, first, kReplyWaitMs);
    EXPECT_LT(first.size(), 100u);
    MsUntilBytes(line, 130, first, kReplyWaitMs);
    EXPECT_EQ(first.size(), 130u);
}

TEST(SimPty, link_pointsAtTheSlave_replacesAnOldLinkOnly_andGoesAwayWithThePty)
{
    char dir[] = "/tmp/zemsimXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/port";
    const std::string plain = std::string(dir) + "/file";
    ASSERT_EQ(symlink("/nonexistent", link.c_str()), 0);
    std::ofstream(plain) << "keep me";
    {
        TModuleSim sim;
        TSimPty pty(sim);
        ASSERT_TRUE(pty.MakeLink(link));
        EXPECT_FALSE(pty.MakeLink(plain));
        TSlaveLine line(link);
        ASSERT_TRUE(line.IsOpen());
        EXPECT_EQ(line.Exchange(110, ReadData(0, 1)), TModuleSim::MakeFrame(110, {0}));
    }
    struct stat st{};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
    EXPECT_EQ(lstat(plain.c_str(), &st), 0);
    unlink(plain.c_str());
    rmdir(dir);
}
