// Times the whole-module read and write, as the window runs them (port opened for the
// operation, exchanges on the task thread), against the simulated module paced as a real
// 115200 bit/s line, and prints each as its time over the time its bytes take on the wire.
// Also the backup before a write: its time over the wire time of the read it needs.
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "BenchWindow.h"
#include "device/DeviceSession.h"
#include "device/ModuleAreas.h"
#include "module/Backups.h"
#include "operation/DeviceOperation.h"
#include "operation/ModuleTransfer.h"

namespace {

constexpr int kRuns = 15;
constexpr double kByteMs = 10.0 / 115200.0 * 1000.0;  // start bit, 8 data bits, stop bit
constexpr size_t kReplyOverhead = 5;                   // start, function, length, CRC

struct TResult {
    double MedianMs = 0;
    double WireMs = 0;
    bool Ok = true;
};

// Requests as the module received them, replies as it sends them: a read's data, a write's none.
double WireMs(const TModuleSim& sim)
{
    size_t bytes = 0;
    for (const auto& frame : sim.ReceivedFrames())
        bytes += frame.size() + kReplyOverhead + (frame[1] == TModuleSim::kFnRead ? frame[5] : 0);
    return double(bytes) * kByteMs;
}

TResult Measure(TModuleSim& sim, const std::function<bool()>& operation)
{
    TResult result;
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        sim.ClearReceivedFrames();
        QElapsedTimer clock;
        clock.start();
        result.Ok = operation() && result.Ok;
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        result.WireMs = WireMs(sim);
    }
    std::sort(times.begin(), times.end());
    result.MedianMs = times[times.size() / 2];
    return result;
}

void Print(const char* name, const TResult& r, double wireMs)
{
    std::printf("%-34s median %8.3f ms  wire %8.3f ms  ratio %.3f%s\n", name, r.MedianMs, wireMs,
                r.MedianMs / wireMs, r.Ok ? "" : "  (FAILED)");
}

}  // namespace

int main(int argc, char** argv)
{
    TBenchWindow bench(argc, argv, true);
    TMainForm& form = *bench.Form;
    TModuleSim& sim = bench.Sim;

    auto copy = std::make_shared<TModuleCopy>();
    auto readAll = [&] {
        return RunDeviceOperation(
                   &form, form.Session(), {QStringLiteral("Чтение")},
                   [copy](TKOR_ZEM& device, TOperationProgress& progress) {
                       return ReadModuleParts(device, progress, PartAll, *copy);
                   },
                   {}, {}) == TOperationResult::Succeeded;
    };
    const TResult read = Measure(sim, readAll);
    const TResult write = Measure(sim, [&] {
        return RunDeviceOperation(
                   &form, form.Session(), {QStringLiteral("Запись"), true},
                   [copy](TKOR_ZEM& device, TOperationProgress& progress) {
                       return WriteModuleParts(device, progress, *copy);
                   },
                   {}, {}) == TOperationResult::Succeeded;
    });
    const TResult empty = Measure(sim, [&] {
        return RunDeviceOperation(&form, form.Session(), {QStringLiteral("Пусто")}, [](TKOR_ZEM&, TOperationProgress&) { return true; },
                                  {}, {}) == TOperationResult::Succeeded;
    });
    const TResult backup = Measure(sim, [&] {
        TModuleCopy kept;
        return BackupBeforeWrite(&form, form.Core(), PartAll, kept);
    });

    const TResult port = Measure(sim, [&] {
        const bool open = form.Session().Begin(QStringLiteral("Порт"));
        form.Session().End(open, std::string());
        return open;
    });
    std::printf("median of %d runs each, line paced at 115200 bit/s 8N1\n", kRuns);
    Print("read all (settings, keys, GPRS)", read, read.WireMs);
    Print("write all (settings, keys, GPRS)", write, write.WireMs);
    Print("backup before a write (all areas)", backup, read.WireMs);
    std::printf("%-34s median %8.3f ms (port opened and closed, task thread there and back)\n",
                "an operation with no exchange", empty.MedianMs);
    std::printf("%-34s median %8.3f ms\n", "of which the port's open and close", port.MedianMs);
    return read.Ok && write.Ok && backup.Ok && empty.Ok ? 0 : 1;
}
