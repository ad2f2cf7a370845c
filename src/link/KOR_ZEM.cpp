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

int TKOR_ZEM::ReadParams(uint16_t address, uint8_t count, void* destination, int timeoutMs)
{
    try {
        return ::ReadParams(*FProtocol, address, count, destination, timeoutMs);
    } catch (const EProtocol&) {
    } catch (const TComPortException&) {
    }
    return -1;
}

bool TKOR_ZEM::WriteParams(uint16_t address, const void* source, uint8_t count, int timeoutMs)
{
    try {
        ::WriteParams(*FProtocol, address, source, count, timeoutMs);
        return true;
    } catch (const EProtocol&) {
    } catch (const TComPortException&) {
    }
    return false;
}

bool TKOR_ZEM::CheckLink()
{
    return ReadParams(0, 1, nullptr, kCommandTimeoutMs) == 1;
}

bool TKOR_ZEM::SetOutput(uint8_t output, uint8_t action)
{
    try {
        FProtocol->ClearParams();
        FProtocol->AddParam(kSubcommandOutput);
        FProtocol->AddParam(output);
        FProtocol->AddParam(action);
        FProtocol->Request(kFunctionCommand, nullptr, 3, kShortestReply, kCommandTimeoutMs);
        return true;
    } catch (const EProtocol&) {
    } catch (const TComPortException&) {
    }
    return false;
}

int TKOR_ZEM::ReadKey(uint8_t mode, void* destination)
{
    int result = -1;
    try {
        FProtocol->ClearParams();
        FProtocol->AddParam(kSubcommandKeyReader);
        FProtocol->AddParam(mode);
        FProtocol->Request(kFunctionCommand, nullptr, 2, kShortestReply, kCommandTimeoutMs);
        result = 0;
        if (FProtocol->GetByte(2) == kKeyLength) {
            result = 1;
            if (destination)
                FProtocol->GetData(3, destination, kKeyLength);
        }
    } catch (const EProtocol&) {
    } catch (const TComPortException&) {
    }
    return result;
}
