#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "link/UniversalPort.h"
#include "sim/ModuleSim.h"

// The simulated module reached without a serial line, for systems with no pseudo-terminals:
// each frame written is handed to the module, and its reply becomes readable only when a
// 115200 bit/s line would have carried it there, so timeouts, gaps and late replies behave as
// they do on the wire.
class TSimPort : public TUniversalPort {
public:
    explicit TSimPort(TModuleSim& sim, std::string name = "SIM");

    bool Write(const void* buffer, int count) override;
    // Waits up to the timeout for the first byte, then returns the bytes that came with it.
    int Read(void* buffer, int count) override;
    bool SetTimeout(int ms) override;
    void Purge() override;
    int Unread() override;
    std::string GetName() override { return FName; }
    void SetName(const std::string& name) override { FName = name; }
    bool IsOpen() override;
    void Close() override;
    // Opening again brings back a line that a hang-up fault took down.
    void Open() override;
    bool IsReady() override { return IsOpen(); }

    // Replies whose last byte has reached the tool's side, for tests to wait on.
    int Replies();

private:
    using TClock = std::chrono::steady_clock;
    struct TLineByte {
        TClock::time_point Due;  // when its last bit is in
        uint8_t Value;
        bool StartsPiece;  // a pause or another reply lies before it
    };
    void Respond(const std::vector<uint8_t>& frame, TClock::time_point arrived);
    void CountArrived(TClock::time_point now);

    TModuleSim& FSim;
    std::string FName;
    mutable std::mutex FMutex;
    bool FOpen = false;
    int FTimeoutMs = 0;
    int FRepliesIn = 0;                           // replies wholly arrived, once counted
    std::deque<TClock::time_point> FReplyEnds;  // when the others will have
    TSimFrameReceiver FReceiver;
    TClock::time_point FToModuleFree{};  // our side of the line is idle again
    TClock::time_point FModuleFree{};    // the module has sent its last reply
    TClock::time_point FHangUpAt = TClock::time_point::max();  // the line is down from then on
    std::deque<TLineByte> FInput;
};
