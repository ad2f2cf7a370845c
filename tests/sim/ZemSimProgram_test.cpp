#include "LinkTestKit.h"
#include "link/FrameText.h"
#include "sim/ModuleSim.h"
#include "SlaveLine.h"
#include "TempFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using namespace std::chrono;

// zem-sim as a child process: stdout and stderr on pipes, stdin on a pipe when asked for (the
// commands), else /dev/null as for a job started in the background.
class TSimProcess {
public:
    explicit TSimProcess(std::vector<std::string> args, bool withInput = false)
    {
        args.insert(args.begin(), ZEM_SIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int in[2] = {-1, -1}, out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 || (withInput && pipe2(in, O_CLOEXEC) != 0))
            return;
        // A child that died must fail the test, not kill it when we write to its input.
        std::signal(SIGPIPE, SIG_IGN);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (withInput)
            posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        else
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        if (posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            FPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        if (withInput)
            close(in[0]);
        FIn = in[1];
        FOut = out[0];
        FErr = err[0];
    }
    ~TSimProcess()
    {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        for (int fd : {FIn, FOut, FErr})
            if (fd >= 0)
                close(fd);
    }

    // The next line the program prints, waiting up to timeoutMs for it.
    std::string Line(int timeoutMs)
    {
        std::string line;
        const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
        while (steady_clock::now() < deadline) {
            pollfd fd{FOut, POLLIN, 0};
            if (poll(&fd, 1, 50) <= 0)
                continue;
            char c;
            if (read(FOut, &c, 1) != 1)
                break;
            if (c == '\n')
                return line;
            line += c;
        }
        return line;
    }

    bool Send(const std::string& text)
    {
        return write(FIn, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    // Sends a command and returns the line that answers it.
    std::string Command(const std::string& text) { return Send(text) ? Line(3000) : "(write failed)"; }

    void CloseInput()
    {
        close(FIn);
        FIn = -1;
    }

    // All the program printed, on one stream, once it has ended.
    static std::string Rest(int fd)
    {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }
    std::string Output() { return Rest(FOut); }
    std::string Errors() { return Rest(FErr); }

    // Exit status after the signal, or -1 when it does not end within the time.
    int StopWith(int signal, int timeoutMs)
    {
        kill(FPid, signal);
        int status = 0;
        if (!WaitFor([&] { return waitpid(FPid, &status, WNOHANG) == FPid; }, milliseconds(timeoutMs)))
            return -1;
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    int WaitExit(int timeoutMs) { return StopWith(0, timeoutMs); }

private:
    pid_t FPid = -1;
    int FIn = -1;
    int FOut = -1;
    int FErr = -1;
};

}  // namespace

TEST(ZemSimProgram, runWithLinkMemoryAndKey_answersThroughTheLink_savesWrites_andCleansUpOnSigterm)
{
    TTempDir dir;
    const std::string link = dir / "zem-port";
    const std::string memory = dir / "memory.bin";
    TModuleSim seed;
    seed.WriteMemory(0, {0x42});
    ASSERT_TRUE(seed.SaveMemoryFile(memory));

    TSimProcess sim({"--link", link, "--memory", memory, "--key", "01A2B3C4D5E6F708", "--after", "1"});
    const std::string slave = sim.Line(3000);
    ASSERT_EQ(slave.rfind("/dev/pts/", 0), 0u) << slave;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(slave, target);

    {
        TSlaveLine line(link);
        ASSERT_TRUE(line.IsOpen());
        EXPECT_EQ(line.Exchange(110, {0, 0, 1}), TModuleSim::MakeFrame(110, {0x42}));  // loaded at start
        EXPECT_EQ(line.Exchange(101, {3, 0}), TModuleSim::MakeFrame(101, {}));
        EXPECT_EQ(line.Exchange(101, {3, 1}), TModuleSim::MakeFrame(101, {}));
        EXPECT_EQ(line.Exchange(101, {3, 1}), TModuleSim::MakeFrame(101, {0x01, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7, 0x08}));
        EXPECT_EQ(line.Exchange(210, {0x01, 0xE0, 0x77, 0x66}), TModuleSim::MakeFrame(210, {}));
    }
    const std::string saved = ReadFile(memory);
    ASSERT_EQ(saved.size(), 1024u);
    EXPECT_EQ(saved[0], 0x42);
    EXPECT_EQ(saved[480], 0x77);
    EXPECT_EQ(saved[481], 0x66);

    EXPECT_EQ(sim.StopWith(SIGTERM, 3000), 0);
    EXPECT_FALSE(Exists(link)) << "link left behind";
}

TEST(ZemSimProgram, badOptionsOrAnUnreadableMemoryFile_stopAtOnce_withoutTouchingTheFile)
{
    TTempDir dir;
    const std::string foreign = dir / "notes.txt";
    WriteFile(foreign, "someone's notes");

    EXPECT_EQ(TSimProcess({"--key", "01A2"}).WaitExit(3000), 2);
    EXPECT_EQ(TSimProcess({"--after", "3"}).WaitExit(3000), 2);
    EXPECT_EQ(TSimProcess({"--bogus"}).WaitExit(3000), 2);
    EXPECT_EQ(TSimProcess({"--memory", foreign}).WaitExit(3000), 2);
    EXPECT_EQ(ReadFile(foreign), "someone's notes");
    EXPECT_EQ(TSimProcess({"--help"}).WaitExit(3000), 0);
}

TEST(ZemSimProgram, sigintWithLineTiming_exitsCleanly)
{
    TSimProcess sim({"--line-timing"});
    const std::string slave = sim.Line(3000);
    {
        TSlaveLine line(slave);
        ASSERT_TRUE(line.IsOpen());
        EXPECT_EQ(line.Exchange(110, {0, 3, 1}), TModuleSim::MakeFrame(110, {147}));
    }
    EXPECT_EQ(sim.StopWith(SIGINT, 3000), 0);
}

namespace {

const TBytes kRead3 = {0, 3, 1};
const TBytes kGood3 = TModuleSim::MakeFrame(110, {147});

// Until the module has seen count requests in all, as its status tells.
bool WaitRequests(TSimProcess& sim, int count)
{
    const std::string tail = "; requests: " + std::to_string(count);
    return WaitFor([&] {
        const std::string status = sim.Command("status\n");
        return status.size() >= tail.size() && status.compare(status.size() - tail.size(), tail.size(), tail) == 0;
    });
}

TBytes WithBadCrc(TBytes frame)
{
    frame[frame.size() - 2] ^= 0xFF;
    return frame;
}

}  // namespace

TEST(ZemSimProgram, faultOptions_everyKindAccepted_aWrongKindCountOrValueRefusedWithAMessage)
{
    TSimProcess sim({"--fault", "silent:2", "--fault", "delay:always:500", "--fault", "late", "--fault", "bad-crc:3",
                     "--fault", "wrong-function:-1", "--fault", "noise:2:55aa", "--fault", "split:1:4:200", "--fault",
                     "short:1:2", "--fault", "extra-data", "--fault", "fewer-data:1:3", "--fault", "hang-up"},
                    true);
    ASSERT_EQ(sim.Line(3000).rfind("/dev/pts/", 0), 0u);
    EXPECT_NE(sim.Command("status\n").find("faults: silent 2, then delay always 500, then late 1 1200, then bad-crc 3, "
                                           "then wrong-function always, then noise 2 55AA, then split 1 4 200, then "
                                           "short 1 2, then extra-data always 1, then fewer-data 1 3, then hang-up 1;"),
              std::string::npos);
    EXPECT_EQ(sim.StopWith(SIGTERM, 3000), 0);

    for (const char* given : {"sideways", "bad-crc:0", "bad-crc:x", "delay:1:0", "delay:1:2:3", "silent:1:5",
                             "split:1:1", "short:1:256", "noise:1:5G", "noise:1:ABC"}) {
        TSimProcess refused({"--fault", given});
        EXPECT_EQ(refused.WaitExit(3000), 2) << given;
        EXPECT_NE(refused.Errors().find(std::string("zem-sim: --fault ") + given + ": "), std::string::npos) << given;
    }
    TSimProcess bare({"--fault"});
    EXPECT_EQ(bare.WaitExit(3000), 2);
    EXPECT_NE(bare.Errors().find("--fault needs"), std::string::npos);

    TSimProcess help({"--help"});
    ASSERT_EQ(help.WaitExit(3000), 0);
    const std::string text = help.Output();
    for (const char* word : {"\n  silent ", "\n  delay ", "\n  late ", "\n  bad-crc ", "\n  wrong-function ",
                             "\n  noise ", "\n  split ", "\n  short ", "\n  extra-data ", "\n  fewer-data ",
                             "\n  hang-up ", "\n  fault KIND", "\n  add KIND", "\n  clear ", "\n  key HEX16",
                             "\n  status ", "\n  help ", "\n  quit "})
        EXPECT_NE(text.find(word), std::string::npos) << word;
}

TEST(ZemSimProgram, faultsOnTheCommandLine_spoilRepliesOnTheLine_inTheOrderGiven_thenTheModuleAnswersAgain)
{
    TSimProcess sim({"--fault", "bad-crc:1", "--fault", "wrong-function:1", "--fault", "short:1:2", "--fault",
                     "noise:1:00FF"});
    TSlaveLine line(sim.Line(3000));
    ASSERT_TRUE(line.IsOpen());
    EXPECT_EQ(line.Exchange(110, kRead3), WithBadCrc(kGood3));
    EXPECT_EQ(line.Exchange(110, kRead3), TModuleSim::MakeFrame(210, {147}));
    line.Send(KorFrame(110, kRead3));
    EXPECT_EQ(line.ReadCount(kGood3.size() - 2), TBytes(kGood3.begin(), kGood3.end() - 2));
    TBytes noisy = {0x00, 0xFF};
    noisy.insert(noisy.end(), kGood3.begin(), kGood3.end());
    EXPECT_EQ(line.Exchange(110, kRead3), noisy);
    EXPECT_EQ(line.Exchange(110, kRead3), kGood3);

    // Without a count, a lasting fault spoils every reply. The module answers in turn, so once
    // the fault is cleared the first bytes on the line are the answer to the next request.
    TSimProcess silent({"--fault", "silent"}, true);
    TSlaveLine quiet(silent.Line(3000));
    ASSERT_TRUE(quiet.IsOpen());
    for (int i = 0; i < 3; ++i)
        quiet.Send(KorFrame(110, kRead3));
    ASSERT_TRUE(WaitRequests(silent, 3));
    EXPECT_EQ(silent.Command("clear\n"), "ok: faults: none");
    EXPECT_EQ(quiet.Exchange(110, {0, 0, 1}), TModuleSim::MakeFrame(110, {0}));
}

TEST(ZemSimProgram, commandsOnStdin_changeTheRunningModule_eachAnsweredInOneLine_andItRunsOnAfterTheInputEnds)
{
    TSimProcess sim({}, true);
    TSlaveLine line(sim.Line(3000));
    ASSERT_TRUE(line.IsOpen());
    EXPECT_EQ(line.Exchange(110, kRead3), kGood3);

    EXPECT_EQ(sim.Command("fault silent\n"), "ok: faults: silent always");
    line.Send(KorFrame(110, kRead3));
    ASSERT_TRUE(WaitRequests(sim, 2));
    EXPECT_EQ(sim.Command("clear\n"), "ok: faults: none");
    EXPECT_EQ(line.Exchange(110, {0, 0, 1}), TModuleSim::MakeFrame(110, {0}));
    EXPECT_EQ(line.Exchange(110, kRead3), kGood3);

    // fault replaces what is in place; add queues behind it.
    EXPECT_EQ(sim.Command("fault delay\n"), "ok: faults: delay always 300");
    EXPECT_EQ(sim.Command("fault bad-crc:1\n"), "ok: faults: bad-crc 1");
    EXPECT_EQ(sim.Command("  add   wrong-function 1\n"), "ok: faults: bad-crc 1, then wrong-function 1");
    EXPECT_EQ(line.Exchange(110, kRead3), WithBadCrc(kGood3));
    const std::string status = sim.Command("status\n");
    EXPECT_EQ(status.rfind("ok: line up at /dev/pts/", 0), 0u) << status;
    EXPECT_NE(status.find("faults: wrong-function 1; key: none; requests: 5"), std::string::npos) << status;
    EXPECT_EQ(line.Exchange(110, kRead3), TModuleSim::MakeFrame(210, {147}));
    EXPECT_EQ(line.Exchange(110, kRead3), kGood3);

    EXPECT_EQ(sim.Command("key 01A2B3C4D5E6F708\n"), "ok: key 01A2B3C4D5E6F708 on the reader after 0 polls");
    EXPECT_EQ(line.Exchange(101, {3, 1}), TModuleSim::MakeFrame(101, {0x01, 0xA2, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7, 0x08}));

    const std::string unknown = sim.Command("bogus 1\n");
    EXPECT_EQ(unknown.rfind("error: unknown command 'bogus'; commands: fault KIND", 0), 0u) << unknown;
    EXPECT_NE(unknown.find("clear, key HEX16 [AFTER] [hold], status, help, quit"), std::string::npos) << unknown;
    EXPECT_EQ(sim.Command("fault sideways\n").rfind("error: unknown fault kind 'sideways'", 0), 0u);
    EXPECT_EQ(sim.Command("help\n").rfind("commands: fault KIND", 0), 0u);

    // A last command without its newline still counts, and the end of the input stops nothing.
    ASSERT_TRUE(sim.Send("fault bad-crc"));
    sim.CloseInput();
    EXPECT_EQ(sim.Line(3000), "ok: faults: bad-crc always");
    EXPECT_EQ(line.Exchange(110, kRead3), WithBadCrc(kGood3));
    EXPECT_EQ(line.Exchange(110, kRead3), WithBadCrc(kGood3));
    EXPECT_EQ(sim.StopWith(SIGTERM, 3000), 0);
}

TEST(ZemSimProgram, hangUpFault_leavesTheLineDownForTheStatus_andQuitStopsTheProgram)
{
    TSimProcess sim({"--fault", "hang-up"}, true);
    TSlaveLine line(sim.Line(3000));
    ASSERT_TRUE(line.IsOpen());
    const TBytes got = line.Exchange(110, {0, 0, 125}, 3000);
    EXPECT_TRUE(line.HungUp);
    EXPECT_LT(got.size(), 130u);
    EXPECT_EQ(sim.Command("status\n").rfind("ok: line down after a hang-up", 0), 0u);
    EXPECT_EQ(sim.Command("quit\n"), "ok: stopping");
    EXPECT_EQ(sim.WaitExit(3000), 0);
}

// --trace hides the GPRS password as the tool's journal does: in the write that carries it, and
// in a reply whose noise looks like a frame start, so that a frame hunt would misplace it.
TEST(ZemSimProgram, trace_hidesTheGprsPassword_alsoInASpoiltReply)
{
    TTempDir dir;
    const std::string memory = dir / "memory.bin";
    const std::string password = "Pw9!xQ7z";
    TModuleSim seed;
    seed.WriteMemory(kGprsPasswordRange.Address, TBytes(password.begin(), password.end()));
    ASSERT_TRUE(seed.SaveMemoryFile(memory));

    TSimProcess sim({"--trace", "--memory", memory, "--fault", "noise:1:556E80"});
    TSlaveLine line(sim.Line(3000));
    ASSERT_TRUE(line.IsOpen());
    line.Send(KorFrame(kKorFunctionRead, {0x03, 0x00, 32}));  // 768..799
    ASSERT_EQ(line.ReadCount(3 + 32 + kKorFrameOverhead).size(), 3u + 32 + kKorFrameOverhead);
    TBytes write = {0x03, 0x12};
    write.insert(write.end(), password.begin(), password.end());
    EXPECT_EQ(line.Exchange(kKorFunctionWrite, write), KorFrame(kKorFunctionWrite, {}));

    std::string trace;
    for (int i = 0; i < 4; ++i)
        trace += sim.Line(3000) + "\n";
    EXPECT_NE(trace.find("Чтение параметров: адрес 768, 32 байта"), std::string::npos) << trace;
    EXPECT_NE(trace.find("Запись параметров: адрес 786, 8 байт"), std::string::npos) << trace;
    for (size_t i = 0; i + 1 < password.size(); ++i) {
        char pair[8];
        std::snprintf(pair, sizeof pair, "%02X %02X", static_cast<uint8_t>(password[i]),
                      static_cast<uint8_t>(password[i + 1]));
        EXPECT_EQ(trace.find(pair), std::string::npos) << pair << " in\n" << trace;
    }
    EXPECT_EQ(trace.find("Pw9"), std::string::npos) << trace;
}
