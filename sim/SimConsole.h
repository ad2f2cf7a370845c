#pragma once
// zem-sim's controls in words: faults as --fault and the fault command spell them, and the
// commands a person types while the simulator runs.

#include "link/FrameText.h"
#include "sim/ModuleSim.h"

#include <string>
#include <vector>

// Reads KIND [COUNT [VALUE [VALUE]]]; what is left out takes the kind's defaults. On failure
// error says why, in words fit for the person who typed them.
bool ParseSimFault(const std::vector<std::string>& words, TSimFault& fault, std::string& error);
// The fault in the words ParseSimFault reads, every number spelt out: "split always 2 10".
std::string SimFaultText(const TSimFault& fault);
// 16 hex digits: a key's 8 code bytes in ROM order.
bool ParseSimKey(const std::string& text, uint8_t key[8]);
std::vector<std::string> SplitWords(const std::string& text, const char* separators);

// A request and the reply to it as --trace prints them: a line each, "→ hex  meaning" and
// "← hex  meaning" (no second line for silence). The secrets are hidden as the tool hides them.
std::string SimTraceText(const std::vector<uint8_t>& request, const TSimReply& reply, const TSecretRanges& secrets);

// The fault kinds and the commands, as --help shows them.
std::string SimFaultHelp();
std::string SimCommandHelp();

class TSimConsole {
public:
    // pty may be null: the status then says nothing of the line.
    TSimConsole(TModuleSim& sim, const TSimPty* pty) : FSim(sim), FPty(pty) {}

    // Runs one command line and returns its one-line answer ("" for a blank line).
    std::string Execute(const std::string& line);
    bool QuitAsked() const { return FQuit; }

private:
    std::string FaultsText() const;
    std::string Status() const;
    std::string Key(const std::vector<std::string>& words);

    TModuleSim& FSim;
    const TSimPty* FPty;
    bool FQuit = false;
};
