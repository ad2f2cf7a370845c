#pragma once
#include <QString>

#include <memory>
#include <string>

class TModuleSim;
class TSimPty;
class TSimPort;
class TUniversalPort;

// "Виртуальный модуль (демонстрация)": the simulated module inside the tool, so that it can be
// tried and taught without hardware. It sits on a pseudo-terminal, so the real serial code talks
// to it; where there are none (Windows), behind an in-process port. Its memory is kept in the
// user's data folder between runs.
class TVirtualModule {
public:
    // The name the port box shows and "ZEM.cfg" keeps for it.
    static QString Caption();

    TVirtualModule();
    ~TVirtualModule();
    TVirtualModule(const TVirtualModule&) = delete;
    TVirtualModule& operator=(const TVirtualModule&) = delete;

    // Starts it if it does not run; false when it cannot start (no terminal, or a memory file
    // that is not the module's memory), StartProblem then saying why.
    bool Start();
    const QString& StartProblem() const { return FStartProblem; }
    void Stop();
    bool Running() const { return FSim != nullptr; }
    // Where a running module is reached: the terminal's path for the serial port, or, where
    // there are no terminals, the in-process port (else null).
    std::string PortPath() const;
    TUniversalPort* InProcessPort() const;

    // Where its memory is kept; tests point it elsewhere before the first start.
    static void SetMemoryFile(const QString& path);

private:
    std::unique_ptr<TModuleSim> FSim;
#ifdef _WIN32
    std::unique_ptr<TSimPort> FPort;
#else
    std::unique_ptr<TSimPty> FPty;
#endif
    QString FStartProblem;
};
