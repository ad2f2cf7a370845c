// Times the program's three biggest exchanges against the simulated module paced as a real
// 115200 bit/s line, and prints each as its time over the time its bytes take on the wire. Then
// the costs that must stay small but depend on the machine too much to be asserted by a test.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <ctime>

#include <dirent.h>

#include "link/ComPort.h"
#include "link/ExchangeRecorder.h"
#include "link/PortLock.h"
#include "SimLink.h"
#include "TempFiles.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kRuns = 41;
constexpr double kByteSeconds = 10.0 / 115200.0;  // start bit, 8 data bits, stop bit

struct TResult {
    double MedianMs = 0;
    double BestMs = 0;
    double WireMs = 0;
    bool Ok = true;
};

// Runs the operation kRuns times; wire bytes are the request frames the module received plus
// the reply frames the program accepted.
TResult Measure(TSimLink& link, const std::function<bool(long&)>& operation)
{
    TResult result;
    std::vector<double> times;
    long wireBytes = 0;
    for (int run = 0; run < kRuns; ++run) {
        link.Sim.ClearReceivedFrames();
        long replyBytes = 0;
        const auto start = TClock::now();
        const bool ok = operation(replyBytes);
        const auto stop = TClock::now();
        result.Ok = result.Ok && ok;
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
        long requestBytes = 0;
        for (const auto& frame : link.Sim.ReceivedFrames())
            requestBytes += static_cast<long>(frame.size());
        wireBytes = requestBytes + replyBytes;
    }
    std::sort(times.begin(), times.end());
    result.MedianMs = times[times.size() / 2];
    result.BestMs = times.front();
    result.WireMs = wireBytes * kByteSeconds * 1000.0;
    return result;
}

double Ms(TClock::time_point from)
{
    return std::chrono::duration<double, std::milli>(TClock::now() - from).count();
}

double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// What the line costs while idle, a dead line costs per command, and listing the ports costs.
void PrintCosts()
{
    {
        TSimLink idle;
        const double cpu = CpuMs();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::printf("%-28s processor %7.3f ms over 300 ms (keep it far below 30)\n", "idle simulated line",
                    CpuMs() - cpu);
    }
    {
        TSimLink dead;
        dead.Open();
        dead.Sim.InjectFault(TSimFault(TSimFault::HangUp));
        dead.Device.ReadParams(0, 125, nullptr, 1000);
        const auto start = TClock::now();
        const double cpu = CpuMs();
        for (int i = 0; i < 20; ++i)
            dead.Device.ReadParams(0, 1, nullptr, 1000);
        std::printf("%-28s %7.3f ms, processor %7.3f ms for 20 reads (keep it far below 1000 and 500)\n",
                    "reads after a hang-up", Ms(start), CpuMs() - cpu);
    }
    std::vector<std::string> ports;
    const auto start = TClock::now();
    TComPort::EnumPorts(ports);
    std::printf("%-28s %7.3f ms for %zu ports (keep it below 100)\n", "listing the ports", Ms(start), ports.size());

    // Wall time suffers on a loaded machine; the processor time of the search does not.
    TSimLink line;
    std::vector<double> wall, cpu;
    for (int i = 0; i < kRuns; ++i) {
        const auto from = TClock::now();
        const double cpuFrom = CpuMs();
        FindPortHolder(line.PortName());
        cpu.push_back(CpuMs() - cpuFrom);
        wall.push_back(Ms(from));
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    int processes = 0;
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc))
            processes += entry->d_name[0] >= '0' && entry->d_name[0] <= '9';
        closedir(proc);
    }
    std::printf("%-28s median %7.3f ms, processor %7.3f ms, %d processes\n", "finding a port's holder",
                wall[kRuns / 2], cpu[kRuns / 2], processes);
}

void Print(const char* name, const TResult& r)
{
    std::printf("%-28s median %7.3f ms  best %7.3f ms  wire %7.3f ms  ratio %.3f (best %.3f)%s\n", name,
                r.MedianMs, r.BestMs, r.WireMs, r.MedianMs / r.WireMs, r.BestMs / r.WireMs,
                r.Ok ? "" : "  (FAILED)");
}

}  // namespace

int main()
{
    TSimLink link(true);
    if (!link.Open()) {
        std::fprintf(stderr, "cannot open %s\n", link.PortName().c_str());
        return 1;
    }
    TKOR_ZEM& device = link.Device;
    TKORProtocol1& protocol = link.Protocol();
    device.CheckLink();

    // The three exchanges, each run inside an operation of the recorder when one is given.
    auto measureAll = [&](TRecorderChannel* recorder, TResult results[3]) {
        auto recorded = [recorder](const std::function<bool(long&)>& operation) {
            return [recorder, operation](long& replyBytes) {
                if (recorder)
                    recorder->Begin("Чтение настроек");
                const bool ok = operation(replyBytes);
                if (recorder)
                    recorder->End(ok, "");
                return ok;
            };
        };
        uint8_t image[125];
        results[0] = Measure(link, recorded([&](long& replyBytes) {
            const bool ok = device.ReadParams(0, 125, image, 1000) == 125;
            replyBytes += protocol.DataLength();
            return ok;
        }));
        results[1] = Measure(link, recorded([&](long& replyBytes) {
            bool ok = true;
            const int blocks[3][2] = {{1, 40}, {40, 40}, {80, 44}};
            for (const auto& b : blocks) {
                ok = ok && device.WriteParams(static_cast<uint16_t>(b[0]), image + b[0], static_cast<uint8_t>(b[1]), 1000);
                replyBytes += protocol.DataLength();
            }
            return ok;
        }));
        uint8_t keys[256];
        results[2] = Measure(link, recorded([&](long& replyBytes) {
            bool ok = true;
            for (int j = 0; j < 4; ++j) {
                ok = ok && device.ReadParams(static_cast<uint16_t>(480 + 64 * j), 64, keys + 64 * j, 1000) == 64;
                replyBytes += protocol.DataLength();
            }
            return ok;
        }));
    };
    const char* const names[3] = {"settings read (125 bytes)", "settings write (3 blocks)", "key table read (4 x 64)"};
    TResult plain[3], watched[3];
    measureAll(nullptr, plain);
    // As the tool runs: every frame recorded in words, every operation written to the day's log.
    TTempDir logDir;
    TDailyLog log(logDir / "logs", "zem-", 14);
    TExchangeRecorder recorder;
    recorder.SetSecrets({{786, 8}});
    recorder.SetLog(&log);
    TRecorderChannel channel(&recorder);
    protocol.SetObserver(&channel);
    measureAll(&channel, watched);
    protocol.SetObserver(nullptr);

    std::printf("median of %d runs each, line paced at 115200 bit/s 8N1\n", kRuns);
    bool ok = true;
    for (int i = 0; i < 3; ++i) {
        Print(names[i], plain[i]);
        ok = ok && plain[i].Ok && watched[i].Ok;
    }
    std::printf("with every frame recorded and each operation logged:\n");
    for (int i = 0; i < 3; ++i)
        Print(names[i], watched[i]);
    PrintCosts();
    return ok ? 0 : 1;
}
