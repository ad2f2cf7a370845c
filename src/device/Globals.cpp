#include "device/Globals.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QString>

#include <cerrno>

#include "device/Appconfig.h"
#include "link/ComPort.h"
#include "link/ExchangeRecorder.h"
#include "link/KOR_ZEM.h"
#include "link/UniversalCom.h"
#include "module/DiskFiles.h"
#include "module/GprsBlock.h"
#include "module/IniFile.h"
#include "tasks/ThreadTaskManager.h"
#include "ui/Mydialogs.h"

TIniFile* IniFile = nullptr;
TComPort* ComPort = nullptr;
TUniversalCom* UniversalCom = nullptr;
TKOR_ZEM* Device = nullptr;
TThreadTaskManager* ThreadTaskManager = nullptr;
TExchangeRecorder* Exchanges = nullptr;
TDailyLog* DiagnosticLog = nullptr;
const char* const DiagnosticLogSection = "Log";
const char* const DiagnosticLogKey = "Enabled";
QString DiagnosticLogDir;
QWidget* PortWarningOwner = nullptr;
QString PortDisplayName;
QString PortProblem;

namespace {

TUniversalPort* g_inProcessPort = nullptr;

constexpr int kLineSpeed = 115200;
constexpr int kLogDaysKept = 14;

// The first line as installers know it, then what the case is and what to do.
QString PortOpenWarning(const TComPort& port)
{
    QString text = QStringLiteral("Ошибка при открытии порта! Возможно порт занят другим приложением!");
    const QString name = QString::fromStdString(port.GetPortName());
    const int reason = port.LastOpenError();
    const TPortHolder& holder = port.LastHolder();
    if (name.isEmpty() && !PortProblem.isEmpty())
        return text + QLatin1Char('\n') + PortProblem;
    if (name.isEmpty())
        return text + QStringLiteral("\nПорт не выбран: выберите порт модуля в списке «Порт».");
    if (reason == ENOENT || reason == ENODEV || reason == ENXIO)
        return text + QStringLiteral("\nУстройство «%1» не найдено: проверьте, что модуль подключён.").arg(ClippedText(name));
    if (reason == EBUSY || reason == EWOULDBLOCK) {
        if (holder.Pid != 0 && !holder.Name.empty())
            return text + QStringLiteral("\nПорт занят программой «%1» (PID %2).")
                              .arg(QString::fromStdString(holder.Name))
                              .arg(holder.Pid);
        if (holder.Pid != 0)
            return text + QStringLiteral("\nПорт занят другой программой (PID %1).").arg(holder.Pid);
        return text + QStringLiteral("\nПорт занят другой программой.");
    }
    if (reason == EACCES || reason == EPERM) {
        text += QStringLiteral(
            "\nНет прав на доступ к порту. Добавьте пользователя в группу dialout "
            "(sudo usermod -a -G dialout $USER) и войдите в систему заново.");
    }
    return text;
}

}  // namespace

void CreateGlobals()
{
    // The display name would be appended to every dialog caption on X11, so only the name is set.
    QCoreApplication::setApplicationName(QStringLiteral("ZEM 2.0"));
    InitAppDir();
    IniFile = new TIniFile(AppDir + QStringLiteral("ZEM.cfg"));
    ComPort = new TComPort();
    ComPort->SetBaudRate(kLineSpeed);
    UniversalCom = new TUniversalCom(ComPort);
    Device = new TKOR_ZEM();
    Device->SetPort(UniversalCom);
    Exchanges = new TExchangeRecorder();
    Exchanges->SetSecrets({{GprsBlockAddress + GprsPasswordOffset, GprsPasswordSize}});
    if (IniFile->ReadBool(QLatin1String(DiagnosticLogSection), QLatin1String(DiagnosticLogKey), true)) {
        if (DiagnosticLogDir.isEmpty())
            DiagnosticLogDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/logs");
        DiagnosticLog = new TDailyLog(LocalFileName(DiagnosticLogDir), "zem-", kLogDaysKept);
        Exchanges->SetLog(DiagnosticLog);
    }
    Device->Protocol()->SetObserver(Exchanges);
    ThreadTaskManager = new TThreadTaskManager();
}

void DestroyGlobals()
{
    if (ThreadTaskManager != nullptr) {
        ThreadTaskManager->Stop();
        ThreadTaskManager->WaitFor();
    }
    delete ThreadTaskManager;
    ThreadTaskManager = nullptr;
    delete Device;
    Device = nullptr;
    g_inProcessPort = nullptr;
    delete Exchanges;
    Exchanges = nullptr;
    delete DiagnosticLog;
    DiagnosticLog = nullptr;
    delete UniversalCom;  // and with it ComPort
    UniversalCom = nullptr;
    ComPort = nullptr;
    delete IniFile;
    IniFile = nullptr;
}

void UseInProcessPort(TUniversalPort* port)
{
    g_inProcessPort = port;
    Device->SetPort(port != nullptr ? port : UniversalCom);
}

bool OpenPort()
{
    if (g_inProcessPort != nullptr) {
        g_inProcessPort->Open();
        return true;
    }
    if (!ComPort->GetPortName().empty()) {
        UniversalCom->Open();
        if (UniversalCom->IsOpen())
            return true;
    }
    WarningDlg(PortWarningOwner, PortOpenWarning(*ComPort));
    return false;
}

void ClosePort()
{
    if (g_inProcessPort != nullptr)
        g_inProcessPort->Close();
    UniversalCom->Close();
}
