// zem-sim: the simulated module on a pseudo-terminal, for trying the tool without hardware.

#include "ModuleSim.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <pthread.h>
#include <string>
#include <sys/stat.h>

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
    "  --help           show this text\n"
    "Runs until interrupted (SIGINT or SIGTERM).\n";

bool ParseKey(const std::string& text, uint8_t key[8])
{
    if (text.size() != 16)
        return false;
    for (int i = 0; i < 8; ++i) {
        const std::string pair = text.substr(static_cast<size_t>(2 * i), 2);
        if (std::strspn(pair.c_str(), "0123456789abcdefABCDEF") != 2)
            return false;
        key[i] = static_cast<uint8_t>(std::strtoul(pair.c_str(), nullptr, 16));
    }
    return true;
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

}  // namespace

int main(int argc, char** argv)
{
    std::string linkPath, memoryPath, keyText;
    int afterPolls = 0;
    bool afterGiven = false;
    bool hold = false;
    bool armReply8 = false;
    bool lineTiming = false;

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
        } else {
            std::fputs(kUsage, stderr);
            return Fail("unknown option " + arg);
        }
    }

    TModuleSim sim;
    sim.SetArmingReplyOf8(armReply8);
    uint8_t key[8];
    if (!keyText.empty()) {
        if (!ParseKey(keyText, key))
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

    // Block the stop signals before the line's thread starts, so it inherits the mask and only
    // sigwait below ever sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        TSimPty pty(sim, lineTiming);
        if (!linkPath.empty() && !pty.MakeLink(linkPath))
            return Fail("cannot make the link " + linkPath + " (an existing file that is not a link is left alone)");
        std::printf("%s\n", pty.SlavePath().c_str());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stopSignals, &signal);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return 0;
}
