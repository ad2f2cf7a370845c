#include "link/UniversalCom.h"

TUniversalCom::~TUniversalCom()
{
    delete FComPort;
}

bool TUniversalCom::Write(const void* buffer, int count)
{
    return FComPort->Write(buffer, count);
}

int TUniversalCom::Read(void* buffer, int count)
{
    return FComPort->Read(buffer, count);
}

bool TUniversalCom::SetTimeout(int ms)
{
    FComPort->SetReadTotalTimeoutConstant(static_cast<uint32_t>(ms));
    FComPort->SetReadIntervalTimeout(kComInfinite);
    FComPort->SetReadTotalTimeoutMultiplier(kComInfinite);
    return true;
}

void TUniversalCom::Purge()
{
    if (!FComPort->IsOpen())
        return;
    TComStat stat;
    FComPort->ClearErrors(stat);
    if (stat.cbInQue != 0)
        FComPort->PurgeInput();
}

int TUniversalCom::Unread()
{
    if (!FComPort->IsOpen())
        return 0;
    TComStat stat;
    FComPort->ClearErrors(stat);
    return static_cast<int>(stat.cbInQue);
}

std::string TUniversalCom::GetName()
{
    return FComPort->GetPortName();
}

void TUniversalCom::SetName(const std::string& name)
{
    FComPort->SetPortName(name);
}

bool TUniversalCom::IsOpen()
{
    return FComPort->IsOpen();
}

void TUniversalCom::Close()
{
    FComPort->Close();
}

void TUniversalCom::Open()
{
    FComPort->OpenByName("");
}

bool TUniversalCom::SetSpeed(int bitsPerSecond)
{
    FComPort->SetBaudRate(bitsPerSecond);
    return true;
}
