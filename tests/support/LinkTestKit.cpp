#include "LinkTestKit.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

TBytes ReadRequest(int address, int count)
{
    return KorFrame(kKorFunctionRead,
                    {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), static_cast<uint8_t>(count)});
}

TBytes WriteRequest(int address, const TBytes& bytes)
{
    TBytes data(bytes.size() + 2);
    data[0] = static_cast<uint8_t>(address >> 8);
    data[1] = static_cast<uint8_t>(address);
    std::copy(bytes.begin(), bytes.end(), data.begin() + 2);
    return KorFrame(kKorFunctionWrite, data);
}

TBytes FrameData(const TBytes& frame)
{
    return frame.size() < kKorFrameOverhead ? TBytes{} : TBytes(frame.begin() + 3, frame.end() - 2);
}

std::vector<TBytes> WithoutRetries(std::vector<TBytes> frames)
{
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds patience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

int PendingInput(int fd)
{
    int pending = 0;
    return ioctl(fd, FIONREAD, &pending) == 0 ? pending : -1;
}

bool ThreadAsleep(pid_t tid)
{
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t name = stat.rfind(')');  // the name may hold spaces and parentheses
    return name != std::string::npos && name + 2 < stat.size() && stat[name + 2] == 'S';
}

bool TChild::Start(const std::function<bool()>& part, const std::function<void()>& atStop)
{
    if (pipe(FReady) != 0 || pipe(FRelease) != 0)
        return false;
    std::fflush(nullptr);
    FPid = fork();
    if (FPid == 0) {
        const char ok = part() ? 1 : 0;
        (void)!write(FReady[1], &ok, 1);
        char c;
        (void)!read(FRelease[0], &c, 1);
        if (atStop)
            atStop();
        _exit(0);
    }
    char ok = 0;
    return FPid > 0 && read(FReady[0], &ok, 1) == 1 && ok == 1;
}

void TChild::Stop()
{
    if (FPid > 0) {
        (void)!write(FRelease[1], "x", 1);
        waitpid(FPid, nullptr, 0);
    }
    FPid = -1;
    for (int* fd : {&FReady[0], &FReady[1], &FRelease[0], &FRelease[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}
