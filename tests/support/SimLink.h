#pragma once
// A simulated module on the far side of a pseudo-terminal, and the program's link to it: the
// channel over a serial port named by the slave's path, and the command object bound to it.
#include <memory>
#include <string>

#include "link/KOR_ZEM.h"
#include "link/UniversalCom.h"
#include "sim/ModuleSim.h"

class TSimLink {
public:
    // lineTiming: the simulator paces both directions like a 115200 bit/s line.
    explicit TSimLink(bool lineTiming = false);
    ~TSimLink();
    TSimLink(const TSimLink&) = delete;
    TSimLink& operator=(const TSimLink&) = delete;

    // Opens the port the way an operation does (closing it first if open); true when open.
    bool Open();
    void Close();
    const std::string& PortName() const { return Pty.SlavePath(); }
    TKORProtocol1& Protocol() { return *Device.Protocol(); }

    TModuleSim Sim;
    TSimPty Pty;

private:
    std::unique_ptr<TUniversalCom> FCom;

public:
    TUniversalCom& Com;
    TKOR_ZEM Device;
};
