#pragma once
// What the link and simulator tests share: request frames as the program sends them, waiting on
// a condition with a generous patience, and a child process that holds something for a while.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "link/KorFrame.h"

using TBytes = std::vector<uint8_t>;

TBytes ReadRequest(int address, int count);
TBytes WriteRequest(int address, const TBytes& bytes);
// The data bytes of a frame.
TBytes FrameData(const TBytes& frame);
// The requests as the program meant them, each retry (a frame repeating the one before) dropped.
// A loaded machine can hold the simulator's answer past a short timeout, and the retry that
// follows is the program doing its job, not a fault.
std::vector<TBytes> WithoutRetries(std::vector<TBytes> frames);

// Checks the condition until it holds or the patience runs out; a slow machine only waits longer.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds patience = std::chrono::seconds(10));
// Bytes that can be read from the descriptor now.
int PendingInput(int fd);
// True while the thread sleeps in the kernel, as it does in a poll() that waits for input.
bool ThreadAsleep(pid_t tid);

// A forked process that does its part, reports whether it worked, and stays until stopped.
class TChild {
public:
    ~TChild() { Stop(); }
    // False when the part failed or the process could not start. atStop runs in the child
    // when it is stopped.
    bool Start(const std::function<bool()>& part, const std::function<void()>& atStop = {});
    void Stop();
    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
    int FReady[2] = {-1, -1};
    int FRelease[2] = {-1, -1};
};
