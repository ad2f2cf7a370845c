#include "VirtualModule.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <system_error>

#include "ModuleSim.h"

namespace {

QString g_memoryFile;

QString MemoryFile()
{
    if (!g_memoryFile.isEmpty())
        return g_memoryFile;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/virtual-module.bin");
}

}  // namespace

QString TVirtualModule::Caption()
{
    return QStringLiteral("Виртуальный модуль (демонстрация)");
}

void TVirtualModule::SetMemoryFile(const QString& path)
{
    g_memoryFile = path;
}

TVirtualModule::TVirtualModule() = default;

TVirtualModule::~TVirtualModule()
{
    Stop();
}

std::string TVirtualModule::Start()
{
    if (FPty)
        return FPty->SlavePath();
    auto sim = std::make_unique<TModuleSim>();
    const QString memory = MemoryFile();
    QDir().mkpath(QFileInfo(memory).absolutePath());
    // A memory file that cannot be read leaves the factory memory; it is written anew.
    if (QFileInfo::exists(memory))
        sim->LoadMemoryFile(memory.toStdString());
    sim->SetMemoryFile(memory.toStdString());
    try {
        FPty = std::make_unique<TSimPty>(*sim);
    } catch (const std::system_error&) {
        return std::string();
    }
    FSim = std::move(sim);
    return FPty->SlavePath();
}

void TVirtualModule::Stop()
{
    FPty.reset();
    FSim.reset();
}
