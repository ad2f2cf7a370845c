// The GPRS password under the faults a line brings, read and written through the tool's own
// commands: neither the recorder (what the journal shows), nor the day's log, nor the simulator's
// trace of the same reply shows its bytes, in hex or as text.
#include <gtest/gtest.h>

#include <cstdio>
#include <dirent.h>
#include <functional>
#include <string>
#include <vector>

#include "link/ExchangeRecorder.h"
#include "link/KOR_ZEM.h"
#include "sim/SimConsole.h"
#include "LinkTestKit.h"
#include "ScriptPort.h"
#include "TempFiles.h"

namespace {

constexpr int kBlockAddress = 736;  // the GPRS block, read whole
constexpr int kBlockSize = 128;
constexpr int kWriteAddress = 768;  // the block's second write of 32 holds the password
constexpr int kWriteSize = 32;
constexpr int kTimeoutMs = 100;
const std::string kPassword = "Pw9!xQ7z";

// Lower-case letters around the password: no two of its bytes in a row stand anywhere else.
TBytes Block()
{
    TBytes block(kBlockSize);
    for (int i = 0; i < kBlockSize; ++i)
        block[static_cast<size_t>(i)] = static_cast<uint8_t>('a' + i % 26);
    std::copy(kPassword.begin(), kPassword.end(), block.begin() + (kGprsPasswordRange.Address - kBlockAddress));
    return block;
}

TBytes Cat(TBytes a, const TBytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The reply's pieces from `from` on, as one.
TBytes Joined(const TSimReply& reply, size_t from = 0)
{
    TBytes bytes;
    for (size_t i = from; i < reply.Chunks.size(); ++i)
        bytes = Cat(bytes, reply.Chunks[i].Bytes);
    return bytes;
}

// Every file the log wrote in its folder, one after another.
std::string LogText(const std::string& folder)
{
    std::string text;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                text += ReadFile(folder + "/" + entry->d_name);
        closedir(dir);
    }
    return text;
}

// What of the password a text shows: any two of its bytes in a row in hex, or three of its
// characters; empty when none.
std::string Leak(const std::string& text)
{
    for (size_t i = 0; i + 1 < kPassword.size(); ++i) {
        char pair[8];
        std::snprintf(pair, sizeof pair, "%02X %02X", static_cast<uint8_t>(kPassword[i]),
                      static_cast<uint8_t>(kPassword[i + 1]));
        if (text.find(pair) != std::string::npos)
            return pair;
    }
    for (size_t i = 0; i + 2 < kPassword.size(); ++i)
        if (text.find(kPassword.substr(i, 3)) != std::string::npos)
            return kPassword.substr(i, 3);
    return "";
}

}  // namespace

// Each row spoils the module's first reply with one of the simulator's faults and hands the
// result to the tool's attempts as a line would; the exchange after it (a settings read) meets
// whatever is left. The rows marked "fuzz" are inputs the recorder once showed the password for.
TEST(SecretFaults, passwordBytes_neverInJournalLogOrTrace_whateverTheLineDoes)
{
    const TBytes block = Block();
    const TBytes blockReply = KorFrame(kKorFunctionRead, block);
    using TDeliver = std::function<void(TScriptPort& line, const TSimReply& spoilt, const TBytes& good)>;
    struct TRow {
        const char* Name;
        TSimFault Fault;
        TDeliver Deliver;
        bool Accepted;  // the exchange ends with a reply taken
    };
    TSimFault split(TSimFault::Split, 1, 500);
    split.Pieces = 3;  // the read's password lies in the second piece
    TSimFault frameStart(TSimFault::Noise);
    frameStart.NoiseBytes = {0x55, 0x6E, 0x80};
    TSimFault noise(TSimFault::Noise);
    noise.NoiseBytes = {0x00, 0xFF, 0x13};
    TSimFault cut(TSimFault::ShortReply);
    cut.DropBytes = 2;
    TSimFault strayStart(TSimFault::Noise);
    strayStart.NoiseBytes = {0x55};
    TSimFault noisyLate(TSimFault::Noise);
    noisyLate.NoiseBytes = {0x13};
    TSimFault empty(TSimFault::FewerData);
    empty.DropBytes = 255;
    const std::vector<TRow> rows = {
        {"split past the timeout, the tail there before the retry", split,
         [](TScriptPort& line, const TSimReply& spoilt, const TBytes& good) {
             line.Queue(spoilt.Chunks[0].Bytes);
             line.QueueSilence();
             line.QueueLate(Joined(spoilt, 1));
             line.Queue(good);
         },
         true},
        {"split past the timeout, the tail noise in the retry (fuzz)", split,
         [](TScriptPort& line, const TSimReply& spoilt, const TBytes& good) {
             line.Queue(spoilt.Chunks[0].Bytes);
             line.QueueSilence();
             line.Queue(Cat(Joined(spoilt, 1), good));
         },
         true},
        // The next exchange meets the tail: a plain read, which the password must not reach.
        {"split past the timeout, the tail after the last attempt", split,
         [](TScriptPort& line, const TSimReply& spoilt, const TBytes&) {
             line.Queue(spoilt.Chunks[0].Bytes);
             for (int i = 0; i < TKOR_ZEM::kAttempts; ++i)
                 line.QueueSilence();
             line.QueueLate(Joined(spoilt, 1));
         },
         false},
        {"noise that looks like a frame start", frameStart,
         [](TScriptPort& line, const TSimReply& spoilt, const TBytes& good) {
             line.Queue(Joined(spoilt));
             line.QueueSilence();
             line.Queue(good);
         },
         true},
        {"plain noise", noise, [](TScriptPort& line, const TSimReply& spoilt, const TBytes&) { line.Queue(Joined(spoilt)); },
         true},
        {"short", cut,
         [](TScriptPort& line, const TSimReply& spoilt, const TBytes& good) {
             line.Queue(Joined(spoilt));
             line.QueueSilence();
             line.Queue(good);
         },
         true},
        {"late, after the last attempt", TSimFault(TSimFault::LateReply),
         [](TScriptPort& line, const TSimReply& spoilt, const TBytes&) {
             for (int i = 0; i < TKOR_ZEM::kAttempts; ++i)
                 line.QueueSilence();
             line.QueueLate(Joined(spoilt));
         },
         false},
        {"bad CRC", TSimFault(TSimFault::BadCrc),
         [](TScriptPort& line, const TSimReply& spoilt, const TBytes& good) {
             line.Queue(Joined(spoilt));
             line.Queue(good);
         },
         true},
        {"wrong function", TSimFault(TSimFault::WrongFunction),
         [](TScriptPort& line, const TSimReply& spoilt, const TBytes& good) {
             line.Queue(Joined(spoilt));
             line.Queue(good);
         },
         true},
        {"one 0x55 of noise, read as the function (fuzz)", strayStart,
         [](TScriptPort& line, const TSimReply& spoilt, const TBytes& good) {
             line.Queue(Joined(spoilt));
             line.QueueSilence();
             line.Queue(good);
         },
         true},
        {"a late reply with noise before its frame (fuzz)", noisyLate,
         [](TScriptPort& line, const TSimReply& spoilt, const TBytes& good) {
             line.QueueSilence();
             line.QueueLate(Joined(spoilt));
             line.Queue(good);
         },
         true},
        // The retry once kept expecting the first reply's length, and took the zeros as a CRC.
        {"a short reply and two zeros after a longer reply's start (fuzz)", empty,
         [&blockReply](TScriptPort& line, const TSimReply& spoilt, const TBytes&) {
             line.Queue(TBytes(blockReply.begin(), blockReply.begin() + 60));
             line.QueueSilence();
             line.Queue(Cat(Joined(spoilt), {0x00, 0x00}));
         },
         true},
    };
    for (const bool writing : {false, true}) {
        for (const TRow& row : rows) {
            SCOPED_TRACE(std::string(row.Name) + (writing ? ", write" : ", read"));
            TModuleSim sim;
            sim.WriteMemory(kBlockAddress, block);
            const TBytes written(block.begin() + (kWriteAddress - kBlockAddress),
                                 block.begin() + (kWriteAddress - kBlockAddress + kWriteSize));
            const TBytes request = writing ? WriteRequest(kWriteAddress, written) : ReadRequest(kBlockAddress, kBlockSize);
            const TBytes good = Joined(sim.HandleFrame(request));
            sim.InjectFault(row.Fault);
            const TSimReply spoilt = sim.HandleFrame(request);
            const std::string trace = SimTraceText(request, spoilt, {kGprsPasswordRange});

            TScriptPort line;
            row.Deliver(line, spoilt, good);
            line.Queue(KorFrame(kKorFunctionRead, sim.ReadMemory(0, 10)));
            TKOR_ZEM device;
            device.SetPort(&line);
            device.Protocol()->SetRetryPause(0);
            TTempDir dir;
            TDailyLog log(dir.Path, "zem-", 7);
            TExchangeRecorder recorder;
            recorder.SetSecrets({kGprsPasswordRange});
            recorder.SetLog(&log);
            TRecorderChannel channel(&recorder);
            device.Protocol()->SetObserver(&channel);

            channel.Begin("GPRS");
            TBytes into(kBlockSize);
            const bool accepted = writing ? device.WriteParams(kWriteAddress, written.data(), kWriteSize, kTimeoutMs)
                                          : device.ReadParams(kBlockAddress, kBlockSize, into.data(), kTimeoutMs) >= 0;
            EXPECT_EQ(accepted, row.Accepted);
            if (accepted) {
                const TKORProtocol1& protocol = *device.Protocol();
                EXPECT_EQ(protocol.DataLength(), protocol.Data()[2] + kKorFrameOverhead);
            }
            channel.End(accepted, "");
            channel.Begin("Чтение настроек");
            EXPECT_EQ(device.ReadParams(0, 10, nullptr, kTimeoutMs), 10);
            channel.End(true, "");
            EXPECT_TRUE(line.Pieces.empty()) << "the line was not played to its end";

            std::string journal;
            const std::string logged = LogText(dir.Path);
            for (const TOperationRecord& operation : recorder.Last(2)) {
                journal += OperationText(operation);
                EXPECT_NE(logged.find(OperationText(operation)), std::string::npos) << "not logged:\n" << logged;
            }
            EXPECT_NE(journal.find(writing ? "Запись параметров: адрес 768" : "Чтение параметров: адрес 736"),
                      std::string::npos) << journal;
            const std::pair<const char*, const std::string&> outputs[] = {
                {"journal", journal}, {"log", logged}, {"trace", trace}};
            for (const auto& [where, text] : outputs)
                EXPECT_EQ(Leak(text), "") << where << ":\n" << text;
        }
    }
}
