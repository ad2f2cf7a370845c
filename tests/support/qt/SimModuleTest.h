#pragma once
// The fixture of the tool's window tests: the tool's files (ZEM.cfg, Operators.cfg, backups, the
// catalogue) in a folder of the test's own, emptied before each case, and the module simulated on
// the far side of a pseudo-terminal. Header-only: it reaches into the tool's core, which the tests link.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/Form_Main.h"
#include "device/Appconfig.h"
#include "device/DeviceSession.h"
#include "device/ToolCore.h"
#include "keys/Ow_keyutils.h"
#include "module/Backups.h"
#include "module/SerialCounter.h"
#include "sim/ModuleSim.h"
#include "ui/Frame_PageControl.h"

class TSimModuleTest : public QObject {
protected:
    QTemporaryDir FDir;
    std::unique_ptr<TModuleSim> FSim;
    std::unique_ptr<TSimPty> FPty;
    std::unique_ptr<TToolCore> FCore;
    std::unique_ptr<TMainForm> FForm;

    // The catalogue the window opens: a file in the test's folder unless a case chooses another.
    QString FCatalogueUrl;

    QString LogDir() const { return FDir.filePath(QStringLiteral("logs")); }
    QString CatalogueFile() const { return FDir.filePath(QStringLiteral("catalogue.sqlite")); }

    QString SimPort() const { return QString::fromStdString(FPty->SlavePath()); }

    // Before each case: the folder emptied, a new module.
    void StartModule()
    {
        QVERIFY(FDir.isValid());
        SetAppDir(FDir.path() + QLatin1Char('/'));
        SetBackupsFolder(FDir.filePath(QStringLiteral("backups")));
        for (const char* name : {"ZEM.cfg", "Operators.cfg"})
            QFile::remove(AppDir() + QLatin1String(name));
        QDir(BackupsFolder()).removeRecursively();
        QDir(LogDir()).removeRecursively();
        // An old counter in the user's data folder would come into each new catalogue.
        QCoreApplication::setApplicationName(QStringLiteral("ZEM 2.0"));
        QFile::remove(DefaultSerialCounterFile());
        for (const QString& suffix : {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(CatalogueFile() + suffix);
        FCatalogueUrl.clear();
        FSim = std::make_unique<TModuleSim>();
        FPty = std::make_unique<TSimPty>(*FSim);
    }

    // The main window shown on the given page, its port box on the simulated module.
    void OpenWindow(int page)
    {
        // The old window goes first, then its core; the new core reads ZEM.cfg anew.
        FForm.reset();
        FCore.reset();
        FCore = std::make_unique<TToolCore>(LogDir());
        FCore->OpenCatalogue(FCatalogueUrl.isEmpty() ? CatalogueFile() : FCatalogueUrl);
        FForm = std::make_unique<TMainForm>(FCore.get());
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        FForm->findChild<QComboBox*>(QStringLiteral("cbPort"))->setEditText(SimPort());
        FForm->PageControl()->SelectPage(page);
    }

    void StopModule()
    {
        FForm.reset();
        FCore.reset();
        FPty.reset();
        FSim.reset();
    }
};

// A key's slot as the module keeps it: serial least significant byte first, CRC, parameter.
inline std::vector<uint8_t> KeySlot(uint64_t serial, uint8_t param)
{
    const TKeyRecord record = MakeKeyRecord(int64_t(serial), param);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    return std::vector<uint8_t>(bytes, bytes + sizeof record);
}
