#include "ModuleSim.h"
#include "SlaveLine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

using TBytes = std::vector<uint8_t>;
using namespace std::chrono;

// zem-sim as a child process with its stdout on a pipe.
class TSimProcess {
public:
    explicit TSimProcess(std::vector<std::string> args)
    {
        args.insert(args.begin(), ZEM_SIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            FPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        FOut = out[0];
    }
    ~TSimProcess()
    {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
        if (FOut >= 0)
            close(FOut);
    }

    // The first line the program prints, waiting up to timeoutMs for it.
    std::string FirstLine(int timeoutMs)
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

    // Exit status after the signal, or -1 when it does not end within the time.
    int StopWith(int signal, int timeoutMs)
    {
        kill(FPid, signal);
        const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
        while (steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(FPid, &status, WNOHANG) == FPid) {
                FPid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(milliseconds(10));
        }
        return -1;
    }

    int WaitExit(int timeoutMs) { return StopWith(0, timeoutMs); }

private:
    pid_t FPid = -1;
    int FOut = -1;
};

std::string TempDir()
{
    char dir[] = "/tmp/zemsimXXXXXX";
    return mkdtemp(dir) ? dir : "";
}

TBytes FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return TBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ZemSimProgram, runWithLinkMemoryAndKey_answersThroughTheLink_savesWrites_andCleansUpOnSigterm)
{
    const std::string dir = TempDir();
    const std::string link = dir + "/zem-port";
    const std::string memory = dir + "/memory.bin";
    TModuleSim seed;
    seed.WriteMemory(0, {0x42});
    ASSERT_TRUE(seed.SaveMemoryFile(memory));

    TSimProcess sim({"--link", link, "--memory", memory, "--key", "01A2B3C4D5E6F708", "--after", "1"});
    const std::string slave = sim.FirstLine(3000);
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
    const TBytes saved = FileBytes(memory);
    ASSERT_EQ(saved.size(), 1024u);
    EXPECT_EQ(saved[0], 0x42);
    EXPECT_EQ(saved[480], 0x77);
    EXPECT_EQ(saved[481], 0x66);

    EXPECT_EQ(sim.StopWith(SIGTERM, 3000), 0);
    struct stat st{};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "link left behind";
    std::remove(memory.c_str());
    rmdir(dir.c_str());
}

TEST(ZemSimProgram, badOptionsOrAnUnreadableMemoryFile_stopAtOnce_withoutTouchingTheFile)
{
    const std::string dir = TempDir();
    const std::string foreign = dir + "/notes.txt";
    std::ofstream(foreign) << "someone's notes";

    EXPECT_EQ(TSimProcess({"--key", "01A2"}).WaitExit(3000), 2);
    EXPECT_EQ(TSimProcess({"--after", "3"}).WaitExit(3000), 2);
    EXPECT_EQ(TSimProcess({"--bogus"}).WaitExit(3000), 2);
    EXPECT_EQ(TSimProcess({"--memory", foreign}).WaitExit(3000), 2);
    EXPECT_EQ(FileBytes(foreign).size(), 15u);
    EXPECT_EQ(TSimProcess({"--help"}).WaitExit(3000), 0);
    std::remove(foreign.c_str());
    rmdir(dir.c_str());
}

TEST(ZemSimProgram, sigintWithLineTiming_exitsCleanly)
{
    TSimProcess sim({"--line-timing"});
    const std::string slave = sim.FirstLine(3000);
    {
        TSlaveLine line(slave);
        ASSERT_TRUE(line.IsOpen());
        EXPECT_EQ(line.Exchange(110, {0, 3, 1}), TModuleSim::MakeFrame(110, {147}));
    }
    EXPECT_EQ(sim.StopWith(SIGINT, 3000), 0);
}
