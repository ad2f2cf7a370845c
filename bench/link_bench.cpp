// Times the program's three biggest exchanges against the simulated module paced as a real
// 115200 bit/s line, and prints each as its time over the time its bytes take on the wire.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "SimLink.h"

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

    uint8_t image[125];
    const TResult read = Measure(link, [&](long& replyBytes) {
        const bool ok = device.ReadParams(0, 125, image, 1000) == 125;
        replyBytes += protocol.FDataLength;
        return ok;
    });
    const TResult write = Measure(link, [&](long& replyBytes) {
        bool ok = true;
        const int blocks[3][2] = {{1, 40}, {40, 40}, {80, 44}};
        for (const auto& b : blocks) {
            ok = ok && device.WriteParams(static_cast<uint16_t>(b[0]), image + b[0], static_cast<uint8_t>(b[1]), 1000);
            replyBytes += protocol.FDataLength;
        }
        return ok;
    });
    uint8_t keys[256];
    const TResult keyRead = Measure(link, [&](long& replyBytes) {
        bool ok = true;
        for (int j = 0; j < 4; ++j) {
            ok = ok && device.ReadParams(static_cast<uint16_t>(480 + 64 * j), 64, keys + 64 * j, 1000) == 64;
            replyBytes += protocol.FDataLength;
        }
        return ok;
    });

    std::printf("median of %d runs each, line paced at 115200 bit/s 8N1\n", kRuns);
    Print("settings read (125 bytes)", read);
    Print("settings write (3 blocks)", write);
    Print("key table read (4 x 64)", keyRead);
    return read.Ok && write.Ok && keyRead.Ok ? 0 : 1;
}
