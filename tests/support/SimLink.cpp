#include "SimLink.h"

TSimLink::TSimLink(bool lineTiming)
    : Pty(Sim, lineTiming), FCom(new TUniversalCom(new TComPort)), Com(*FCom)
{
    Com.SetName(Pty.SlavePath());
    Com.SetSpeed(115200);
    Device.SetPort(&Com);
}

TSimLink::~TSimLink()
{
    Com.Close();
}

bool TSimLink::Open()
{
    Com.Open();
    return Com.IsOpen();
}

void TSimLink::Close()
{
    Com.Close();
}
