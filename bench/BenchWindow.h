#pragma once
// The tool's window against a simulated module, for the benchmarks that time what it does: the
// application as the tool sets it up, its files in a folder of their own, the port box on the
// module's pseudo-terminal.
#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>

#include <memory>

#include "app/Application.h"
#include "app/Form_Main.h"
#include "device/Appconfig.h"
#include "device/ToolCore.h"
#include "module/Backups.h"
#include "sim/ModuleSim.h"
#include "ui/Formtools.h"

class TBenchWindow {
public:
    // lineTiming: the module paces both directions like a 115200 bit/s line.
    TBenchWindow(int& argc, char** argv, bool lineTiming)
        : FOffscreen(qputenv("QT_QPA_PLATFORM", "offscreen")), App(argc, argv), Pty(Sim, lineTiming)
    {
        SetupApplicationLook(App);
        SetAppDir(FDir.path() + QLatin1Char('/'));
        SetBackupsFolder(FDir.filePath(QStringLiteral("backups")));
        // The user's own catalogue stays out of the measurements.
        Core = std::make_unique<TToolCore>(FDir.filePath(QStringLiteral("logs")));
        Core->OpenCatalogue(FDir.filePath(QStringLiteral("catalogue.sqlite")));
        Form = std::make_unique<TMainForm>(Core.get());
        Form->show();
        Form->findChild<QComboBox*>(QStringLiteral("cbPort"))->setEditText(QString::fromStdString(Pty.SlavePath()));
        Form->cbPortChange();
    }

private:
    // Set first of all, so that the application below starts without a display.
    bool FOffscreen;
    QTemporaryDir FDir;

public:
    TApplication App;
    TModuleSim Sim;
    TSimPty Pty;
    std::unique_ptr<TToolCore> Core;
    std::unique_ptr<TMainForm> Form;
};
