#include "link/KOR_ZEM.h"

#include "link/ComPort.h"
#include "link/Params_kor_protocol.h"

std::string LinkErrorCause(const TLinkError& error)
{
    if (error.PortFailure)
        return "Связь с портом потеряна: проверьте кабель и адаптер.";
    if (error.Text.empty())
        return std::string();
    switch (error.Code) {
    case kErrorTimeout:
        return "Модуль не ответил: проверьте, что он включён и подключён к этому порту.";
    case kErrorCrc:
    case kErrorBufferOverflow:
    case kErrorIndexRange:
        return "Ответ модуля повреждён (ошибка контрольной суммы или длины).";
    case kErrorBadCommand:
        return "Модуль ответил на другой запрос.";
    default:
        return "Причина: " + error.Text;
    }
}

TKOR_ZEM::TKOR_ZEM() : FProtocol(new TKORProtocol1(kKorStartByte, nullptr))
{
    FProtocol->SetAttempts(kAttempts);
}

TKOR_ZEM::~TKOR_ZEM()
{
    delete FProtocol;
}

void TKOR_ZEM::SetPort(TUniversalPort* port)
{
    FProtocol->SetPort(port);
}

template <class TResult, class TCommand>
TResult TKOR_ZEM::Guarded(TResult failed, TCommand command)
{
    FLastError = TLinkError();
    try {
        return command();
    } catch (const EProtocol& e) {
        FLastError = {e.Code, e.Message, false};
    } catch (const TComPortException& e) {
        FLastError = {e.Code, e.Message, true};
    }
    return failed;
}

int TKOR_ZEM::ReadParams(uint16_t address, uint8_t count, void* destination, int timeoutMs)
{
    return Guarded(-1, [&] { return ::ReadParams(*FProtocol, address, count, destination, timeoutMs); });
}

bool TKOR_ZEM::WriteParams(uint16_t address, const void* source, uint8_t count, int timeoutMs)
{
    return Guarded(false, [&] {
        ::WriteParams(*FProtocol, address, source, count, timeoutMs);
        return true;
    });
}

bool TKOR_ZEM::CheckLink()
{
    return ReadParams(0, 1, nullptr, kCommandTimeoutMs) == 1;
}

bool TKOR_ZEM::SetOutput(uint8_t output, uint8_t action)
{
    return Guarded(false, [&] {
        FProtocol->ClearParams();
        FProtocol->AddParam(kKorCommandOutput);
        FProtocol->AddParam(output);
        FProtocol->AddParam(action);
        FProtocol->Request(kKorFunctionCommand, nullptr, 3, kKorShortestReply, kCommandTimeoutMs);
        return true;
    });
}

int TKOR_ZEM::ReadKey(uint8_t mode, void* destination)
{
    return Guarded(-1, [&] {
        FProtocol->ClearParams();
        FProtocol->AddParam(kKorCommandKeyReader);
        FProtocol->AddParam(mode);
        FProtocol->Request(kKorFunctionCommand, nullptr, 2, kKorShortestReply, kCommandTimeoutMs);
        if (FProtocol->GetByte(2) != kKorKeyLength)
            return 0;
        if (destination)
            FProtocol->GetData(3, destination, kKorKeyLength);
        return 1;
    });
}
