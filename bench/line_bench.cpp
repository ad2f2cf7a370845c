// Times the production line against simulated modules paced as real 115200 bit/s lines: 20
// modules through one port, then through four ports at once, each module read whole, backed up,
// written with the template and its own serial number, and read back. Prints the total, the time
// per module and its ratio to the wire time of the module's read, write and read back.
#include <QElapsedTimer>

#include <cstdio>
#include <memory>
#include <vector>

#include "TempFiles.h"
#include "TemplateCopy.h"
#include "device/ProductionLine.h"
#include "module/Backups.h"
#include "module/GprsBlock.h"
#include "module/SerialCounter.h"
#include "sim/ModuleSim.h"

namespace {

constexpr int kModules = 20;
constexpr double kByteSeconds = 10.0 / 115200.0;  // start bit, 8 data bits, stop bit
constexpr size_t kReplyOverhead = 5;              // start, function, length, CRC

struct TModule {
    TModule() : Pty(Sim, true) {}
    TModuleSim Sim;
    TSimPty Pty;
};

// The seconds the module's requests and replies take on the line, the link checks left out.
double WireSeconds(const TModuleSim& sim)
{
    size_t bytes = 0;
    for (const auto& frame : sim.ReceivedFrames()) {
        const bool read = frame[1] == TModuleSim::kFnRead;
        if (read && frame[5] == 1)
            continue;
        bytes += frame.size() + kReplyOverhead + (read ? frame[5] : 0);
    }
    return double(bytes) * kByteSeconds;
}

struct TFigures {
    double Seconds = 0;
    double WirePerModule = 0;
    double ModuleSeconds = 0;  // the modules' own: from the link check answered to the report saved
    int Passed = 0;
};

// Each round puts one module on every port and runs the line once over them.
TFigures Run(int ports, TSerialCounter& counter, const QString& report)
{
    std::vector<std::unique_ptr<TModule>> modules;
    QStringList names;
    for (int i = 0; i < ports; ++i) {
        modules.push_back(std::make_unique<TModule>());
        names << QString::fromStdString(modules.back()->Pty.SlavePath());
    }
    TFigures figures;
    double wire = 0;
    QElapsedTimer clock;
    clock.start();
    for (int round = 0; round < kModules / ports; ++round) {
        for (auto& module : modules)
            module->Sim.ClearReceivedFrames();
        TLineOptions options;
        options.Template = TemplateCopy(10, 5000);
        options.Counter = &counter;
        options.ReportFile = report;
        options.Once = true;
        options.Events = [&figures](const TLineEvent& event) {
            if (event.Kind == TLineEvent::Ended)
                figures.ModuleSeconds += event.Result.Seconds;
        };
        TProductionLine line(options);
        line.Start(names);
        line.Wait();
        figures.Passed += line.Passed();
        for (auto& module : modules)
            wire += WireSeconds(module->Sim);
    }
    figures.Seconds = double(clock.nsecsElapsed()) / 1e9;
    figures.WirePerModule = wire / kModules;
    return figures;
}

void Print(const char* name, int ports, const TFigures& f)
{
    const double perModule = f.Seconds / kModules;
    const double portSeconds = f.Seconds / (kModules / ports);
    std::printf("%-20s total %6.2f s  per module %5.3f s  wire per module %5.3f s  ratio %.2f\n", name, f.Seconds,
                perModule, f.WirePerModule, perModule / f.WirePerModule);
    std::printf("%-20s a module on its port: %5.3f s, ratio %.2f; its own work alone: %5.3f s, ratio %.2f%s\n", "",
                portSeconds, portSeconds / f.WirePerModule, f.ModuleSeconds / kModules,
                f.ModuleSeconds / kModules / f.WirePerModule, f.Passed == kModules ? "" : "  (FAILED)");
}

}  // namespace

int main()
{
    TTempDir dir;
    SetBackupsFolder(QString::fromStdString(dir / "backups"));
    TSerialCounter counter(QString::fromStdString(dir / "counter"));
    counter.StartAt(1);
    const QString report = QString::fromStdString(dir / "report.csv");
    const TFigures one = Run(1, counter, report);
    const TFigures four = Run(4, counter, report);
    std::printf("%d modules, line paced at 115200 bit/s 8N1; each: read whole, backup, write, read back, report\n",
                kModules);
    Print("one port", 1, one);
    Print("four ports at once", 4, four);
    std::printf("four ports' throughput over one port's: %.2f\n", one.Seconds / four.Seconds);
    return one.Passed == kModules && four.Passed == kModules ? 0 : 1;
}
