#include "device/DeviceSession.h"

#include <cerrno>

#include "link/ComPort.h"
#include "link/ExchangeRecorder.h"
#include "link/UniversalCom.h"
#include "module/TextValues.h"
#include "tasks/ThreadTaskManager.h"
#include "util/Dnxfileutils.h"

TDeviceSession::TDeviceSession(TExchangeRecorder* recorder)
    : FChannel(recorder), FCom(std::make_unique<TUniversalCom>(new TComPort)), FDevice(std::make_unique<TKOR_ZEM>())
{
    FComPort = FCom->GetComPort();
    FComPort->SetBaudRate(kLineSpeed);
    FDevice->SetPort(FCom.get());
    FDevice->Protocol()->SetObserver(&FChannel);
}

TDeviceSession::~TDeviceSession()
{
    if (FTasks) {
        FTasks->Stop();
        FTasks->WaitFor();
    }
    if (InOperation())
        End(false, "не завершена");
    FDevice->Protocol()->SetObserver(nullptr);
}

void TDeviceSession::ChoosePort(const QString& name)
{
    ChooseVirtualPort(name, name.toStdString(), nullptr, QString());
}

void TDeviceSession::ChooseVirtualPort(const QString& name, const std::string& device, TUniversalPort* inProcess,
                                       const QString& problem)
{
    FPortName = name;
    FPortProblem = problem;
    FInProcessPort = inProcess;
    FComPort->SetPortName(device);
    FDevice->SetPort(inProcess ? inProcess : static_cast<TUniversalPort*>(FCom.get()));
}

TThreadTaskManager& TDeviceSession::Tasks()
{
    if (!FTasks)
        FTasks = std::make_unique<TThreadTaskManager>();
    return *FTasks;
}

int TDeviceSession::LastOpenError() const
{
    return FInProcessPort ? 0 : FComPort->LastOpenError();
}

// What the case is and what to do, in the installer's words.
QString TDeviceSession::PortOpenCause() const
{
    const QString name = QString::fromStdString(FComPort->GetPortName());
    const int reason = FComPort->LastOpenError();
    const TPortHolder& holder = FComPort->LastHolder();
    if (name.isEmpty() && !FPortProblem.isEmpty())
        return FPortProblem;
    if (name.isEmpty())
        return QStringLiteral("Порт не выбран: выберите порт модуля в списке «Порт».");
    if (reason == ENOENT || reason == ENODEV || reason == ENXIO)
        return QStringLiteral("Устройство «%1» не найдено: проверьте, что модуль подключён.").arg(ClippedText(name));
    if (reason == EBUSY || reason == EWOULDBLOCK) {
        if (holder.Pid != 0 && !holder.Name.empty())
            return QStringLiteral("Порт занят программой «%1» (PID %2).").arg(QString::fromStdString(holder.Name)).arg(holder.Pid);
        if (holder.Pid != 0)
            return QStringLiteral("Порт занят другой программой (PID %1).").arg(holder.Pid);
        return QStringLiteral("Порт занят другой программой.");
    }
    if (reason == EACCES || reason == EPERM) {
        return QStringLiteral(
            "Нет прав на доступ к порту. Добавьте пользователя в группу dialout "
            "(sudo usermod -a -G dialout $USER) и войдите в систему заново.");
    }
    if (reason != 0)
        return QString::fromStdString(FileErrorReason(reason));
    return QString();
}

bool TDeviceSession::PortOpen() const
{
    return FInProcessPort != nullptr || FCom->IsOpen();
}

bool TDeviceSession::OpenPort()
{
    FOpenProblem.clear();
    if (FInProcessPort) {
        FInProcessPort->Open();
        return true;
    }
    if (FKeepOpen && FCom->IsOpen())
        return true;
    if (!FComPort->GetPortName().empty()) {
        FCom->Open();
        if (FCom->IsOpen())
            return true;
    }
    FOpenProblem = PortOpenCause();
    if (FOpenProblem.isEmpty())
        FOpenProblem = QStringLiteral("Порт не открыт.");
    return false;
}

bool TDeviceSession::Begin(const QString& title)
{
    if (InOperation())
        End(false, "не завершена");
    const bool open = OpenPort();
    FChannel.Begin(title.toStdString(), FPortName.toStdString());
    if (!open) {
        End(false, "порт не открыт: " + FOpenProblem.toStdString());
        return false;
    }
    return true;
}

void TDeviceSession::End(bool succeeded, const std::string& result, bool stopped)
{
    FChannel.End(succeeded, result, stopped);
    if (FInProcessPort)
        FInProcessPort->Close();
    if (!FKeepOpen || FDevice->LastError().PortFailure)
        FCom->Close();
}

std::string LinkFailureText(const TLinkError& error)
{
    const std::string cause = LinkErrorCause(error);
    return cause.empty() ? error.Text : cause;
}
