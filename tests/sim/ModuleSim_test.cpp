#include "sim/ModuleSim.h"
#include "sim/SimConsole.h"

#include "LinkTestKit.h"
#include "TempFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <random>
#include <unistd.h>

namespace {

bool CrcGood(const TBytes& frame)
{
    return frame.size() >= kKorFrameOverhead && KorCrcGood(frame.data(), static_cast<int>(frame.size()));
}

// The single frame of an undisturbed reply.
TBytes Only(const TSimReply& reply)
{
    EXPECT_EQ(reply.Chunks.size(), 1u);
    EXPECT_FALSE(reply.HangUp);
    return reply.Chunks.empty() ? TBytes{} : reply.Chunks[0].Bytes;
}

TBytes Joined(const TSimReply& reply)
{
    TBytes all;
    for (const auto& chunk : reply.Chunks)
        all.insert(all.end(), chunk.Bytes.begin(), chunk.Bytes.end());
    return all;
}

}  // namespace

TEST(ModuleSim, freshModule_holdsFactoryDefaultsThenErasedMemory)
{
    TModuleSim sim;
    const TBytes settings = sim.ReadMemory(0, 125);
    ASSERT_EQ(settings.size(), 125u);
    // A few landmarks of the factory memory: voltages, zone modes, subscriber rights, on-times, clock.
    EXPECT_EQ(settings[3], 147);
    EXPECT_EQ(settings[5], 0);  // no keys stored
    EXPECT_EQ(settings[8], 168);
    EXPECT_EQ(settings[9], 208);
    EXPECT_EQ(TBytes(settings.begin() + 11, settings.begin() + 18), (TBytes{1, 1, 4, 7, 8, 8, 9}));
    EXPECT_EQ(TBytes(settings.begin() + 40, settings.begin() + 75), TBytes(35, 0xFF));
    EXPECT_EQ(TBytes(settings.begin() + 75, settings.begin() + 80), TBytes(5, 31));
    EXPECT_EQ(TBytes(settings.begin() + 92, settings.begin() + 98), (TBytes{1, 15, 4, 4, 4, 4}));
    for (int n = 0; n < 6; ++n)
        EXPECT_EQ(settings[104 + 2 * n] << 8 | settings[105 + 2 * n], 0x0E);
    EXPECT_EQ(settings[119], 21);
    EXPECT_EQ(settings[124], 0);
    EXPECT_EQ(sim.ReadMemory(125, TModuleSim::kMemorySize - 125), TBytes(TModuleSim::kMemorySize - 125, 0xFF));
}

TEST(ModuleSim, memoryAccessOutsideTheMemory_isClampedOrDropped)
{
    TModuleSim sim;
    EXPECT_EQ(sim.ReadMemory(1020, 10).size(), 4u);
    EXPECT_TRUE(sim.ReadMemory(1024, 1).empty());
    EXPECT_TRUE(sim.ReadMemory(-1, 5).empty());
    sim.WriteMemory(1022, {1, 2, 3, 4});
    EXPECT_EQ(sim.ReadMemory(1022, 2), (TBytes{1, 2}));
    sim.WriteMemory(-2, {7, 8, 9});
    EXPECT_EQ(sim.ReadMemory(0, 1), TBytes{9});
}

TEST(ModuleSim, readRequests_answerMemoryBytesAndClampAtTheEnd)
{
    TModuleSim sim;
    const TBytes link = Only(sim.HandleFrame({0x55, 0x6E, 0x03, 0x00, 0x00, 0x01, 0x24, 0x53}));
    EXPECT_EQ(link.size(), 6u);
    EXPECT_EQ(link[1], 110);
    EXPECT_EQ(FrameData(link), TBytes{0});
    EXPECT_TRUE(CrcGood(link));

    const TBytes settings = Only(sim.HandleFrame(ReadRequest(0, 125)));
    ASSERT_EQ(settings.size(), 130u);
    EXPECT_EQ(FrameData(settings), TBytes(TModuleSim::kFactoryDefaults, TModuleSim::kFactoryDefaults + 125));
    EXPECT_TRUE(CrcGood(settings));

    const TBytes tail = Only(sim.HandleFrame(ReadRequest(1020, 10)));
    EXPECT_EQ(tail[2], 4);
    EXPECT_TRUE(CrcGood(tail));
    const TBytes beyond = Only(sim.HandleFrame(ReadRequest(2000, 10)));
    EXPECT_EQ(beyond[2], 0);
}

TEST(ModuleSim, writeRequests_storeBytesAndEchoAnEmpty210_butNotPastTheMemory)
{
    TModuleSim sim;
    const TBytes reply = Only(sim.HandleFrame(WriteRequest(480, {1, 2, 3, 4, 5, 6, 7, 8})));
    EXPECT_EQ(reply, TModuleSim::MakeFrame(210, {}));
    EXPECT_EQ(sim.ReadMemory(480, 8), (TBytes{1, 2, 3, 4, 5, 6, 7, 8}));

    EXPECT_TRUE(sim.HandleFrame(WriteRequest(1020, {9, 9, 9, 9, 9})).Chunks.empty());
    EXPECT_EQ(sim.ReadMemory(1020, 4), TBytes(4, 0xFF));
    EXPECT_EQ(Only(sim.HandleFrame(WriteRequest(1020, {9, 9, 9, 9}))), TModuleSim::MakeFrame(210, {}));
}

TEST(ModuleSim, outputCommands_rememberEachOutputsLastAction)
{
    TModuleSim sim;
    EXPECT_EQ(sim.OutputAction(0), -1);
    EXPECT_EQ(Only(sim.HandleFrame(TModuleSim::MakeFrame(101, {2, 0, 1}))), TModuleSim::MakeFrame(101, {}));
    Only(sim.HandleFrame(TModuleSim::MakeFrame(101, {2, 3, 2})));
    Only(sim.HandleFrame(TModuleSim::MakeFrame(101, {2, 0, 0})));
    EXPECT_EQ(sim.OutputAction(0), 0);
    EXPECT_EQ(sim.OutputAction(3), 2);
    EXPECT_EQ(sim.OutputAction(1), -1);
}

TEST(ModuleSim, keyReader_answersEmptyUntilThePolls_thenTheKeyOnce)
{
    TModuleSim sim;
    const uint8_t key[8] = {0x01, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7, 0x08};
    const TBytes arm = TModuleSim::MakeFrame(101, {3, 0});
    const TBytes poll = TModuleSim::MakeFrame(101, {3, 1});
    EXPECT_EQ(Only(sim.HandleFrame(arm)), TModuleSim::MakeFrame(101, {}));
    EXPECT_EQ(Only(sim.HandleFrame(poll))[2], 0);  // no key on the reader yet

    sim.PresentKey(key, 2);
    EXPECT_EQ(Only(sim.HandleFrame(poll))[2], 0);
    EXPECT_EQ(Only(sim.HandleFrame(poll))[2], 0);
    EXPECT_TRUE(sim.KeyPending());
    EXPECT_EQ(Only(sim.HandleFrame(poll)), TModuleSim::MakeFrame(101, TBytes(key, key + 8)));
    EXPECT_FALSE(sim.KeyPending());
    EXPECT_EQ(Only(sim.HandleFrame(poll))[2], 0);

    sim.PresentKey(key, 0);
    EXPECT_EQ(Only(sim.HandleFrame(poll))[2], 8);

    // A key left on the reader is seen by every poll; a faulty reader answers arming with a key.
    sim.PresentKey(key, 1, true);
    EXPECT_EQ(Only(sim.HandleFrame(poll))[2], 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Only(sim.HandleFrame(poll)), TModuleSim::MakeFrame(101, TBytes(key, key + 8)));
    EXPECT_TRUE(sim.KeyPending());
    sim.SetArmingReplyOf8(true);
    EXPECT_EQ(Only(sim.HandleFrame(arm))[2], 8);
}

TEST(ModuleSim, unknownOrDamagedRequests_getNoReply_andOnlyGoodFramesAreRecorded)
{
    TModuleSim sim;
    TBytes damaged = ReadRequest(0, 1);
    damaged.back() ^= 1;
    EXPECT_TRUE(sim.HandleFrame(damaged).Chunks.empty());
    EXPECT_TRUE(sim.HandleFrame(TModuleSim::MakeFrame(77, {1, 2})).Chunks.empty());
    EXPECT_TRUE(sim.HandleFrame(TModuleSim::MakeFrame(101, {9, 0})).Chunks.empty());
    EXPECT_TRUE(sim.HandleFrame(TModuleSim::MakeFrame(101, {3, 7})).Chunks.empty());
    EXPECT_TRUE(sim.HandleFrame(TModuleSim::MakeFrame(110, {0, 0})).Chunks.empty());

    const auto frames = sim.ReceivedFrames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], TModuleSim::MakeFrame(77, {1, 2}));
    sim.ClearReceivedFrames();
    EXPECT_TRUE(sim.ReceivedFrames().empty());
}

TEST(ModuleSim, queuedFaults_applyInOrderForTheirCount_andAllFaultsPersistUntilCleared)
{
    TModuleSim sim;
    TSimFault crc{TSimFault::BadCrc};
    crc.Count = 2;
    sim.InjectFault(crc);
    sim.InjectFault(TSimFault{TSimFault::WrongFunction});
    const TBytes request = ReadRequest(0, 1);
    EXPECT_FALSE(CrcGood(Only(sim.HandleFrame(request))));
    EXPECT_FALSE(CrcGood(Only(sim.HandleFrame(request))));
    EXPECT_EQ(Only(sim.HandleFrame(request))[1], 210);
    EXPECT_EQ(Only(sim.HandleFrame(request)), TModuleSim::MakeFrame(110, {0}));

    TSimFault silence{TSimFault::Silence};
    silence.Count = -1;
    sim.InjectFault(silence);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(sim.HandleFrame(request).Chunks.empty());
    sim.ClearFaults();
    EXPECT_EQ(Only(sim.HandleFrame(request)), TModuleSim::MakeFrame(110, {0}));
}

TEST(ModuleSim, eachFault_shapesTheReplyAsNamed)
{
    TModuleSim sim;
    const TBytes request = ReadRequest(0, 4);
    const TBytes good = TModuleSim::MakeFrame(110, {0, 0, 1, 0x93});
    auto with = [&](TSimFault fault) {
        sim.InjectFault(fault);
        return sim.HandleFrame(request);
    };

    EXPECT_TRUE(with(TSimFault{TSimFault::Silence}).Chunks.empty());

    TSimFault delay{TSimFault::Delay};
    delay.DelayMs = 40;
    TSimReply r = with(delay);
    EXPECT_EQ(r.Chunks.at(0).PauseMs, 40);
    EXPECT_EQ(Joined(r), good);

    r = with(TSimFault{TSimFault::LateReply});
    EXPECT_EQ(r.Chunks.at(0).PauseMs, TSimFault::kDefaultLateMs);
    EXPECT_EQ(Joined(r), good);

    TBytes bytes = Only(with(TSimFault{TSimFault::BadCrc}));
    EXPECT_EQ(TBytes(bytes.begin(), bytes.end() - 2), TBytes(good.begin(), good.end() - 2));
    EXPECT_FALSE(CrcGood(bytes));

    bytes = Only(with(TSimFault{TSimFault::WrongFunction}));
    EXPECT_EQ(bytes, TModuleSim::MakeFrame(210, {0, 0, 1, 0x93}));

    TSimFault noise{TSimFault::Noise};
    noise.NoiseBytes = {0x00, 0x55, 0xFF};
    bytes = Only(with(noise));
    EXPECT_EQ(TBytes(bytes.begin(), bytes.begin() + 3), noise.NoiseBytes);
    EXPECT_EQ(TBytes(bytes.begin() + 3, bytes.end()), good);

    TSimFault split{TSimFault::Split};
    split.Pieces = 3;
    split.DelayMs = 15;
    r = with(split);
    ASSERT_EQ(r.Chunks.size(), 3u);
    EXPECT_EQ(r.Chunks[0].PauseMs, 0);
    EXPECT_EQ(r.Chunks[2].PauseMs, 15);
    EXPECT_EQ(Joined(r), good);

    TSimFault shortReply{TSimFault::ShortReply};
    shortReply.DropBytes = 3;
    EXPECT_EQ(Only(with(shortReply)), TBytes(good.begin(), good.end() - 3));

    TSimFault extra{TSimFault::ExtraData};
    extra.ExtraBytes = 2;
    bytes = Only(with(extra));
    EXPECT_EQ(bytes, TModuleSim::MakeFrame(110, {0, 0, 1, 0x93, 0x02, 0x00}));  // memory continues

    r = with(TSimFault{TSimFault::HangUp});
    EXPECT_TRUE(r.HangUp);
    EXPECT_LT(Joined(r).size(), good.size());
    EXPECT_FALSE(Joined(r).empty());
}

TEST(SimFrameReceiver, garbageStrayStartBytesAndDamagedFrames_areSkipped_framesStillFound)
{
    TSimFrameReceiver rx;
    const TBytes a = ReadRequest(0, 125);
    const TBytes b = WriteRequest(40, TBytes(40, 0x55));  // start bytes inside the data are data
    TBytes damaged = ReadRequest(5, 1);
    damaged[4] ^= 0x10;

    TBytes stream{0x00, 0xFF, 0x13};
    stream.insert(stream.end(), a.begin(), a.end());
    stream.insert(stream.end(), damaged.begin(), damaged.end());
    stream.insert(stream.end(), b.begin(), b.end());
    std::vector<TBytes> found;
    for (uint8_t byte : stream)
        for (auto& f : rx.Feed(&byte, 1))
            found.push_back(f);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], a);
    EXPECT_EQ(found[1], b);
    EXPECT_EQ(rx.Pending(), 0u);
}

TEST(SimFrameReceiver, strayStartByteAnnouncingALongFrame_isGivenUpAfterQuiet_andTheFrameBehindItFound)
{
    TSimFrameReceiver rx;
    const TBytes request = ReadRequest(0, 1);
    TBytes stream{0x55, 0x13};
    stream.insert(stream.end(), request.begin(), request.end());
    EXPECT_TRUE(rx.Feed(stream.data(), stream.size()).empty());  // 55 13 55 asks for 90 bytes
    const auto found = rx.Expire();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], request);
}

TEST(SimFrameReceiver, randomStreamInRandomPieces_yieldsEveryFrameInOrder_andOnlyGoodOnes)
{
    std::mt19937 random(20240607);
    for (int round = 0; round < 50; ++round) {
        TSimFrameReceiver rx;
        TBytes stream;
        std::vector<TBytes> sent;
        for (int i = 0; i < 20; ++i) {
            const int garbage = static_cast<int>(random() % 6);
            for (int g = 0; g < garbage; ++g) {
                uint8_t byte = static_cast<uint8_t>(random());
                stream.push_back(byte == 0x55 ? 0x54 : byte);
            }
            TBytes data(random() % 60);
            for (auto& byte : data)
                byte = static_cast<uint8_t>(random());
            sent.push_back(TModuleSim::MakeFrame(static_cast<uint8_t>(random()), data));
            stream.insert(stream.end(), sent.back().begin(), sent.back().end());
        }
        std::vector<TBytes> found;
        for (size_t at = 0; at < stream.size();) {
            const size_t piece = std::min<size_t>(1 + random() % 40, stream.size() - at);
            for (auto& f : rx.Feed(stream.data() + at, piece))
                found.push_back(f);
            at += piece;
        }
        ASSERT_EQ(found, sent) << "round " << round;
    }

    // Pure noise, start bytes included: whatever comes out must at least be a whole, sound frame.
    TSimFrameReceiver rx;
    for (int i = 0; i < 20000; ++i) {
        uint8_t byte = static_cast<uint8_t>(random() % 4 == 0 ? 0x55 : random());
        for (auto& f : rx.Feed(&byte, 1)) {
            EXPECT_EQ(f.size(), f[2] + 5u);
            EXPECT_TRUE(CrcGood(f));
        }
        if (i % 500 == 0)
            rx.Expire();
    }
}

TEST(ModuleSim, memoryFile_roundTripsAndSavesAfterEveryWrite_butAForeignFileIsNotLoaded)
{
    TTempDir dir;
    const std::string file = dir / "memory.bin";
    // It holds the GPRS password: a file readable by others is tightened at the next write.
    WriteFile(file, std::string(TModuleSim::kMemorySize, '\0'));
    chmod(file.c_str(), 0644);
    {
        TModuleSim sim;
        sim.SetMemoryFile(file);
        sim.HandleFrame(WriteRequest(736, {'i', 'n', 't', 'e', 'r', 'n', 'e', 't'}));
        sim.HandleFrame(WriteRequest(5, {3}));
    }
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    TModuleSim loaded;
    ASSERT_TRUE(loaded.LoadMemoryFile(file));
    EXPECT_EQ(loaded.ReadMemory(736, 8), (TBytes{'i', 'n', 't', 'e', 'r', 'n', 'e', 't'}));
    EXPECT_EQ(loaded.ReadMemory(5, 1), TBytes{3});
    EXPECT_EQ(loaded.ReadMemory(3, 1), TBytes{147});

    const std::string copy = dir / "copy.bin";
    ASSERT_TRUE(loaded.SaveMemoryFile(copy));
    TModuleSim again;
    ASSERT_TRUE(again.LoadMemoryFile(copy));
    EXPECT_EQ(again.ReadMemory(0, 1024), loaded.ReadMemory(0, 1024));

    const std::string foreign = dir / "short.bin";
    WriteFile(foreign, "not a memory image");
    EXPECT_FALSE(again.LoadMemoryFile(foreign));
    EXPECT_FALSE(again.LoadMemoryFile(dir / "missing.bin"));
    // Nothing that is not a regular file is read: a FIFO would block, /dev/zero never ends.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir / "zero").c_str()), 0);
    for (const char* special : {"fifo", "zero", "."}) {
        int error = 0;
        EXPECT_FALSE(again.LoadMemoryFile(dir / special, &error)) << special;
        EXPECT_NE(error, 0) << special;
    }
    EXPECT_EQ(again.ReadMemory(736, 8), (TBytes{'i', 'n', 't', 'e', 'r', 'n', 'e', 't'}));
}

// --trace prints what the module was asked and what it answered in the tool's own words: noise
// before the frame kept in the hex but not taken for it, silence as no answer line at all.
TEST(ModuleSim, traceLines_nameTheRequestAndTheReply)
{
    TModuleSim sim;
    const std::vector<uint8_t> read = KorFrame(kKorFunctionRead, {0x00, 0x00, 2});
    TSimFault noise(TSimFault::Noise);
    noise.NoiseBytes = {0x13};
    sim.InjectFault(noise);
    sim.InjectFault(TSimFault(TSimFault::Silence));
    const std::string noisy = SimTraceText(read, sim.HandleFrame(read), {});
    const std::string asked = "→ 55 6E 03 00 00 02 64 52  Чтение параметров: адрес 0, 2 байта\n";
    EXPECT_EQ(noisy.substr(0, asked.size()), asked);
    EXPECT_EQ(noisy.substr(asked.size(), std::string("← 13 55 6E 02 ").size()), "← 13 55 6E 02 ");
    EXPECT_EQ(noisy.substr(noisy.rfind("  ")), "  Ответ: 2 байта\n");
    EXPECT_EQ(SimTraceText(read, sim.HandleFrame(read), {}), asked);
}
