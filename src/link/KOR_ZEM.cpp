#include "KOR_ZEM.h"

#include "ComPort.h"
#include "Params_kor_protocol.h"

namespace {
constexpr int kShortestReply = 5;
}

TKOR_ZEM::TKOR_ZEM() : FProtocol(new TKORProtocol1(kStartByte, nullptr))
{
    FProtocol->FAttempts = kAttempts;
}

TKOR_ZEM::~TKOR_ZEM()
{
    delete FProtocol;
}

void TKOR_ZEM::SetPort(TUniversalPort* port)
{
    FProtocol->FPort = port;
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
        FProtocol->AddParam(kSubcommandOutput);
        FProtocol->AddParam(output);
        FProtocol->AddParam(action);
        FProtocol->Request(kFunctionCommand, nullptr, 3, kShortestReply, kCommandTimeoutMs);
        return true;
    });
}

int TKOR_ZEM::ReadKey(uint8_t mode, void* destination)
{
    return Guarded(-1, [&] {
        FProtocol->ClearParams();
        FProtocol->AddParam(kSubcommandKeyReader);
        FProtocol->AddParam(mode);
        FProtocol->Request(kFunctionCommand, nullptr, 2, kShortestReply, kCommandTimeoutMs);
        if (FProtocol->GetByte(2) != kKeyLength)
            return 0;
        if (destination)
            FProtocol->GetData(3, destination, kKeyLength);
        return 1;
    });
}
