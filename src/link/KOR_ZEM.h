#pragma once
#include <cstdint>
#include <string>

#include "link/Kor_protocol1.h"
#include "util/LogObject.h"

// Why the last command failed: the link's error code and text; code 0 and no text after a
// command that met no link error.
struct TLinkError {
    int Code = 0;
    std::string Text;
    bool PortFailure = false;  // the serial port itself failed (Code is a system error number)
};

// The failure's reason in the installer's words, in UTF-8; empty when the link gave none.
std::string LinkErrorCause(const TLinkError& error);

// The module as the rest of the program sees it: one exchange per command, each returning a plain
// result. Every link failure becomes -1, false or 0; none escapes, and the last is kept.
class TKOR_ZEM : public TLogObject {
public:
    static constexpr uint8_t kAttempts = 3;
    static constexpr int kCommandTimeoutMs = 100;  // link check, output command, key reader

    TKOR_ZEM();
    ~TKOR_ZEM() override;

    void SetPort(TUniversalPort* port);
    TKORProtocol1* Protocol() const { return FProtocol; }

    // The module's data length (normally count), with the data copied out; -1 on any failure.
    int ReadParams(uint16_t address, uint8_t count, void* destination, int timeoutMs);
    bool WriteParams(uint16_t address, const void* source, uint8_t count, int timeoutMs);
    // True when the module answers a one-byte read with exactly one byte.
    bool CheckLink();
    bool SetOutput(uint8_t output, uint8_t action);
    // 1: a key came (8 bytes copied out); 0: a reply without a key; -1: no valid reply.
    int ReadKey(uint8_t mode, void* destination);

    const TLinkError& LastError() const { return FLastError; }

private:
    // Runs one command; a link failure is kept in FLastError and gives `failed`.
    template <class TResult, class TCommand>
    TResult Guarded(TResult failed, TCommand command);

    TKORProtocol1* FProtocol;
    TLinkError FLastError;
};
