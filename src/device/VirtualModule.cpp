#include "device/VirtualModule.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <system_error>

#include "module/DiskFiles.h"
#include "sim/ModuleSim.h"
#include "ui/Mydialogs.h"
#include "util/Dnxfileutils.h"

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
    FStartProblem.clear();
    auto cannotStart = [this](const QString& why) {
        FStartProblem = QStringLiteral("Виртуальный модуль не запущен: %1").arg(why);
        return std::string();
    };
    auto sim = std::make_unique<TModuleSim>();
    const QString memory = MemoryFile();
    const std::string memoryPath = LocalFileName(memory);
    // The memory holds the GPRS password: its folder is the user's alone.
    if (const int error = MakePrivateFolder(LocalFileName(QFileInfo(memory).absolutePath())))
        return cannotStart(QStringLiteral("папка «%1»: %2")
                               .arg(ClippedText(QDir::toNativeSeparators(QFileInfo(memory).absolutePath())),
                                    QString::fromStdString(FileErrorReason(error))));
    // A missing memory file is the factory memory, written at the first change. Anything else
    // that cannot be read as the module's memory is someone's file: kept, and no module runs.
    int error = 0;
    if (!sim->LoadMemoryFile(memoryPath, &error) && error != ENOENT)
        return cannotStart(QStringLiteral("файл памяти «%1»: %2")
                               .arg(ClippedText(QDir::toNativeSeparators(memory)),
                                    error != 0 ? QString::fromStdString(FileErrorReason(error))
                                               : QStringLiteral("это не память модуля (должно быть ровно %1 байта)")
                                                     .arg(TModuleSim::kMemorySize)));
    sim->SetMemoryFile(memoryPath);
    try {
        FPty = std::make_unique<TSimPty>(*sim);
    } catch (const std::system_error&) {
        return cannotStart(QStringLiteral("система не выдала псевдотерминал"));
    }
    FSim = std::move(sim);
    return FPty->SlavePath();
}

void TVirtualModule::Stop()
{
    FPty.reset();
    FSim.reset();
}
