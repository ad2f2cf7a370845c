#include "device/VirtualModule.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <system_error>

#include "module/DiskFiles.h"
#include "module/TextValues.h"
#include "sim/ModuleSim.h"
#include "sim/SimPort.h"
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

bool TVirtualModule::Start()
{
    if (FSim)
        return true;
    FStartProblem.clear();
    auto cannotStart = [this](const QString& why) {
        FStartProblem = QStringLiteral("Виртуальный модуль не запущен: %1").arg(why);
        return false;
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
#ifdef _WIN32
    FPort = std::make_unique<TSimPort>(*sim, Caption().toStdString());
#else
    try {
        FPty = std::make_unique<TSimPty>(*sim);
    } catch (const std::system_error&) {
        return cannotStart(QStringLiteral("система не выдала псевдотерминал"));
    }
#endif
    FSim = std::move(sim);
    return true;
}

std::string TVirtualModule::PortPath() const
{
#ifdef _WIN32
    return {};
#else
    return FPty ? FPty->SlavePath() : std::string();
#endif
}

TUniversalPort* TVirtualModule::InProcessPort() const
{
#ifdef _WIN32
    return FPort.get();
#else
    return nullptr;
#endif
}

void TVirtualModule::Stop()
{
#ifdef _WIN32
    FPort.reset();
#else
    FPty.reset();
#endif
    FSim.reset();
}
