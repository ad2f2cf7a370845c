// Times the production line against simulated modules paced as real 115200 bit/s lines: 20
// modules through one port without the module catalogue (the backup a file, no numbering), then
// with it (an SQLite file: the backup, the serial number and the module's row its transactions),
// then through four ports at once with it; each module read whole, backed up, written with the
// template, and read back. Prints the total, the time per module and its ratio to the wire time of
// the module's read, write and read back.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <memory>
#include <vector>

#include "TempFiles.h"
#include "TemplateCopy.h"
#include "device/ProductionLine.h"
#include "module/Backups.h"
#include "module/GprsBlock.h"
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

// Each round puts one module on every port and runs the line once over them, all rounds one run
// of the line. With a catalogue,
// every module gets the series' next number.
TFigures Run(int ports, const QString& catalogue, const QString& report)
{
    std::vector<std::unique_ptr<TModule>> modules;
    QStringList names;
    for (int i = 0; i < ports; ++i) {
        modules.push_back(std::make_unique<TModule>());
        names << QString::fromStdString(modules.back()->Pty.SlavePath());
    }
    TFigures figures;
    double wire = 0;
    TLineOptions options;
    options.Template = TemplateCopy(10, 5000);
    options.Catalogue = catalogue;
    options.SerialFrom = catalogue.isEmpty() ? 0 : 1;
    options.ReportFile = report;
    options.Once = true;
    options.Events = [&figures](const TLineEvent& event) {
        if (event.Kind == TLineEvent::Ended)
            figures.ModuleSeconds += event.Result.Seconds;
    };
    QElapsedTimer clock;
    clock.start();
    {
        // One run, as a line set up for the day has: started again for each round.
        TProductionLine line(options);
        for (int round = 0; round < kModules / ports; ++round) {
            for (auto& module : modules)
                module->Sim.ClearReceivedFrames();
            QString error;
            if (!line.Start(names, error)) {
                std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
                break;
            }
            line.Wait();
            for (auto& module : modules)
                wire += WireSeconds(module->Sim);
        }
        figures.Passed = line.Passed();
    }
    figures.Seconds = double(clock.nsecsElapsed()) / 1e9;
    figures.WirePerModule = wire / kModules;
    return figures;
}

void Print(const char* name, int ports, const TFigures& f)
{
    const double perModule = f.Seconds / kModules;
    const double portSeconds = f.Seconds / (kModules / ports);
    std::printf("%-24s total %6.2f s  per module %5.3f s  wire per module %5.3f s  ratio %.2f\n", name, f.Seconds,
                perModule, f.WirePerModule, perModule / f.WirePerModule);
    std::printf("%-24s a module on its port: %5.3f s, ratio %.2f; its own work alone: %5.3f s, ratio %.2f%s\n", "",
                portSeconds, portSeconds / f.WirePerModule, f.ModuleSeconds / kModules,
                f.ModuleSeconds / kModules / f.WirePerModule, f.Passed == kModules ? "" : "  (FAILED)");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);  // Qt SQL loads its driver through it
    TTempDir dir;
    SetBackupsFolder(QString::fromStdString(dir / "backups"));
    const QString catalogue = QString::fromStdString(dir / "catalogue.sqlite");
    const QString report = QString::fromStdString(dir / "report.csv");
    const TFigures bare = Run(1, QString(), report);
    const TFigures one = Run(1, catalogue, report);
    const TFigures four = Run(4, catalogue, report);
    std::printf("%d modules, line paced at 115200 bit/s 8N1; each: read whole, backup, write, read back, report\n",
                kModules);
    Print("one port, no catalogue", 1, bare);
    Print("one port, catalogue", 1, one);
    Print("four ports, catalogue", 4, four);
    std::printf("one port's ratio: %.2f without the catalogue, %.2f with it\n", bare.Seconds / kModules / bare.WirePerModule,
                one.Seconds / kModules / one.WirePerModule);
    std::printf("four ports' throughput over one port's: %.2f\n", one.Seconds / four.Seconds);
    return bare.Passed == kModules && one.Passed == kModules && four.Passed == kModules ? 0 : 1;
}
