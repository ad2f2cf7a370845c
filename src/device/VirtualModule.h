#pragma once
#include <QString>

#include <memory>
#include <string>

class TModuleSim;
class TSimPty;

// "Виртуальный модуль (демонстрация)": the simulated module on a pseudo-terminal inside the
// tool, so that it can be tried and taught without hardware. Its memory is kept in the user's
// data folder between runs.
class TVirtualModule {
public:
    // The name the port box shows and "ZEM.cfg" keeps for it.
    static QString Caption();

    TVirtualModule();
    ~TVirtualModule();
    TVirtualModule(const TVirtualModule&) = delete;
    TVirtualModule& operator=(const TVirtualModule&) = delete;

    // Starts it if it does not run; the terminal's path, or empty when it cannot start (no
    // terminal, or a memory file that is not the module's memory), StartProblem then saying why.
    std::string Start();
    const QString& StartProblem() const { return FStartProblem; }
    void Stop();
    bool Running() const { return FPty != nullptr; }

    // Where its memory is kept; tests point it elsewhere before the first start.
    static void SetMemoryFile(const QString& path);

private:
    std::unique_ptr<TModuleSim> FSim;
    std::unique_ptr<TSimPty> FPty;
    QString FStartProblem;
};
