#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempFiles.h"
#include "util/Dnxfileutils.h"
#include "util/Signals.h"

namespace {

std::atomic<int> gEarlierHandlerCalls{0};
extern "C" void EarlierHandler(int)
{
    ++gEarlierHandlerCalls;
}

}  // namespace

TEST(StopSignals, eachSignalOrAWakeEndsTheWait_theEarlierHandlingComesBackAfter)
{
    std::signal(SIGTERM, EarlierHandler);
    {
        TStopSignals stops;
        EXPECT_THROW(TStopSignals(), std::logic_error);
        EXPECT_EQ(stops.Wait(0), 0);
        int expected = 0;
        for (int signal : {SIGINT, SIGTERM, SIGINT}) {
            SCOPED_TRACE(signal);
            ASSERT_EQ(raise(signal), 0);
            EXPECT_EQ(stops.Wait(-1), ++expected);
        }
        // Two signals before the wait: one return, both counted.
        raise(SIGINT);
        raise(SIGTERM);
        EXPECT_EQ(stops.Wait(-1), 5);
        EXPECT_EQ(stops.Wait(0), 5);
        std::thread other([&stops] { stops.Wake(); });
        EXPECT_EQ(stops.Wait(-1), 5);
        other.join();
    }
    EXPECT_EQ(gEarlierHandlerCalls, 0);
    raise(SIGTERM);
    EXPECT_EQ(gEarlierHandlerCalls, 1);
    std::signal(SIGTERM, SIG_DFL);

    TStopSignals again;
    EXPECT_EQ(again.Count(), 0);
}

// In a child with SIGXFSZ at its default, as a program starts: once ignored, a save past the file
// size limit fails with its reason and leaves neither a temporary file nor a changed old one.
TEST(StopSignals, fileSizeSignalIgnored_aSavePastTheLimitFailsAndLeavesNothingBehind)
{
    TTempDir dir;
    const std::string file = dir / "backup.zem";
    WriteFile(file, "old");
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        IgnoreFileSizeSignal();
        const struct rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string bytes(4000, 'p');
        const bool failed = SaveFileDurably(file, bytes.data(), bytes.size(), true) == EFBIG &&
                            SaveFileDurably(dir / "new.zem", bytes.data(), bytes.size(), true, true) == EFBIG;
        // A handler someone set is theirs to keep.
        std::signal(SIGXFSZ, EarlierHandler);
        IgnoreFileSizeSignal();
        struct sigaction now {};
        sigaction(SIGXFSZ, nullptr, &now);
        _exit(failed && now.sa_handler == EarlierHandler ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(file), "old");
    std::vector<std::string> names;
    if (DIR* folder = opendir(dir.Path.c_str())) {
        while (const dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(folder);
    }
    EXPECT_EQ(names, std::vector<std::string>{"backup.zem"});
    EXPECT_EQ(FileErrorReason(EFBIG), "превышен допустимый размер файла");
}
