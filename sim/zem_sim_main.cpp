// zem-sim: the simulated module on a pseudo-terminal, for trying the tool without hardware.

#include "sim/ModuleSim.h"
#include "sim/SimConsole.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: zem-sim [options]\n"
    "Simulates the alarm module on a pseudo-terminal and prints the terminal's path.\n"
    "  --link PATH      also make PATH a symbolic link to the terminal (removed at exit)\n"
    "  --memory FILE    keep the module's memory in FILE: loaded at start, saved after each write\n"
    "  --key HEX16      lay a key on the reader: 16 hex digits, the 8 code bytes in ROM order\n"
    "  --after N        present that key after N reader polls (default 0)\n"
    "  --hold           leave that key on the reader: every poll after N sees it\n"
    "  --arm-reply8     answer the reader's arming request with 8 data bytes (a faulty reader)\n"
    "  --line-timing    pace both directions like a 115200 bit/s line\n"
    "  --trace          print every request and reply, in hex and in words\n"
    "  --fault FAULT    spoil replies: FAULT is KIND[:COUNT[:VALUE]], below; repeatable\n"
    "  --help           show this text\n"
    "Runs until interrupted (SIGINT or SIGTERM) or told to quit.\n";

constexpr size_t kMaxCommandLine = 4096;
// A job in the background of its terminal polls for being brought forward this often.
constexpr long kForegroundCheckNs = 500L * 1000 * 1000;

volatile std::sig_atomic_t gStopSignal = 0;

extern "C" void OnStopSignal(int signal)
{
    gStopSignal = signal;
}

bool ParseCount(const std::string& text, int& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9)
        return false;
    value = std::atoi(text.c_str());
    return true;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "zem-sim: %s\n", message.c_str());
    return 2;
}

void Answer(const std::string& text)
{
    if (text.empty())
        return;
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

// A background job reading its terminal would be stopped, the line's thread with it.
bool MayReadInput()
{
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    return foreground == -1 || foreground == getpgrp();
}

// Answers the commands on standard input until a stop signal or quit; once the input ends it only
// waits for the signal. The stop signals are let through only while it waits, so none is lost.
void RunConsole(TSimConsole& console, const sigset_t& waitMask)
{
    std::string pending;
    bool inputOpen = true;
    bool skippingLongLine = false;
    while (!gStopSignal && !console.QuitAsked()) {
        const bool listen = inputOpen && MayReadInput();
        fd_set readable;
        FD_ZERO(&readable);
        if (listen)
            FD_SET(STDIN_FILENO, &readable);
        const timespec recheck{0, kForegroundCheckNs};
        if (pselect(listen ? STDIN_FILENO + 1 : 0, &readable, nullptr, nullptr,
                    inputOpen && !listen ? &recheck : nullptr, &waitMask) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || (errno == EIO && !MayReadInput())))
            continue;
        if (n > 0) {
            pending.append(buffer, static_cast<size_t>(n));
        } else {
            inputOpen = false;
            pending += '\n';  // a last line without its newline still counts
        }
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos && !console.QuitAsked()) {
            if (!skippingLongLine)
                Answer(console.Execute(pending.substr(0, end)));
            skippingLongLine = false;
            pending.erase(0, end + 1);
        }
        if (pending.size() > kMaxCommandLine && !skippingLongLine) {
            Answer("error: line too long");
            skippingLongLine = true;
        }
        if (skippingLongLine)
            pending.clear();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // A standard descriptor left closed would be handed to a file or terminal opened later, and
    // our answers written there, or its bytes read as commands.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF)
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);

    std::string linkPath, memoryPath, keyText;
    int afterPolls = 0;
    bool afterGiven = false;
    bool hold = false;
    bool armReply8 = false;
    bool lineTiming = false;
    bool trace = false;
    std::vector<TSimFault> faults;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(SimFaultHelp().c_str(), stdout);
            std::fputs(SimCommandHelp().c_str(), stdout);
            return 0;
        } else if (arg == "--link") {
            if (!value(linkPath))
                return Fail("--link needs a path");
        } else if (arg == "--memory") {
            if (!value(memoryPath))
                return Fail("--memory needs a file name");
        } else if (arg == "--key") {
            if (!value(keyText))
                return Fail("--key needs 16 hex digits");
        } else if (arg == "--hold") {
            hold = true;
        } else if (arg == "--arm-reply8") {
            armReply8 = true;
        } else if (arg == "--after") {
            if (!value(text) || !ParseCount(text, afterPolls))
                return Fail("--after needs a number of polls");
            afterGiven = true;
        } else if (arg == "--line-timing") {
            lineTiming = true;
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "--fault") {
            TSimFault fault;
            std::string error;
            if (!value(text))
                return Fail("--fault needs KIND[:COUNT[:VALUE]]");
            if (!ParseSimFault(SplitWords(text, ":"), fault, error))
                return Fail("--fault " + text + ": " + error);
            faults.push_back(fault);
        } else {
            std::fputs(kUsage, stderr);
            return Fail("unknown option " + arg);
        }
    }

    TModuleSim sim;
    sim.SetArmingReplyOf8(armReply8);
    uint8_t key[8];
    if (!keyText.empty()) {
        if (!ParseSimKey(keyText, key))
            return Fail("--key needs exactly 16 hex digits, got " + keyText);
        sim.PresentKey(key, afterPolls, hold);
    } else if (afterGiven || hold) {
        return Fail("--after and --hold need --key");
    }
    if (!memoryPath.empty()) {
        struct stat st{};
        // A file we cannot read as a memory image would be overwritten by the first save: refuse.
        if (stat(memoryPath.c_str(), &st) == 0 && !sim.LoadMemoryFile(memoryPath))
            return Fail("cannot load the memory file " + memoryPath);
        sim.SetMemoryFile(memoryPath);
    }
    for (const TSimFault& fault : faults)
        sim.InjectFault(fault);

    // Answers must not kill us when no one reads them any more, nor a terminal stop a background job.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGTTOU, SIG_IGN);

    // Block the stop signals before the line's thread starts, so it inherits the mask and only
    // the console's wait below ever takes them.
    const int stops[] = {SIGINT, SIGTERM, SIGHUP};
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    struct sigaction onStop{};
    onStop.sa_handler = OnStopSignal;
    sigemptyset(&onStop.sa_mask);
    for (int stop : stops)
        sigaddset(&stopSignals, stop);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &waitMask);
    for (int stop : stops) {
        sigdelset(&waitMask, stop);
        sigaction(stop, &onStop, nullptr);
    }

    try {
        TSimTrace printTrace = nullptr;
        if (trace)
            printTrace = [](const std::vector<uint8_t>& request, const TSimReply& reply) {
                std::fputs(SimTraceText(request, reply, {kGprsPasswordRange}).c_str(), stdout);
                std::fflush(stdout);
            };
        TSimPty pty(sim, lineTiming, printTrace);
        if (!linkPath.empty() && !pty.MakeLink(linkPath))
            return Fail("cannot make the link " + linkPath + " (an existing file that is not a link is left alone)");
        std::printf("%s\n", pty.SlavePath().c_str());
        std::fflush(stdout);
        if (isatty(STDIN_FILENO) && MayReadInput())
            std::fputs("zem-sim: type help for the commands\n", stderr);
        TSimConsole console(sim, &pty);
        RunConsole(console, waitMask);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return 0;
}
