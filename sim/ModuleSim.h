#pragma once
// A stand-in for the alarm module: its parameter memory and its side of the serial protocol,
// plus a pseudo-terminal that carries it, so the link can be tested without hardware.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/KorFrame.h"

// The module answers one request at a time, so requests arriving during a Delay or LateReply
// wait behind it, as on the real device. Faults apply to every well-formed request, answered or not.
struct TSimFault {
    enum TKind {
        Silence,        // no reply at all
        Delay,          // reply after DelayMs
        LateReply,      // reply after DelayMs, meant to land after the tool's timeout
        BadCrc,         // reply with a corrupted CRC
        WrongFunction,  // reply echoing another function code
        Noise,          // NoiseBytes (00 FF 13 when empty) sent before the reply frame
        Split,          // reply in Pieces pieces, DelayMs apart
        ShortReply,     // DropBytes cut from the reply's end
        ExtraData,      // ExtraBytes more data bytes; a read's continue from the memory
        FewerData,      // a well-formed reply with DropBytes data bytes fewer than asked
        HangUp          // the line closes in the middle of the reply frame
    };
    TKind Kind = Silence;
    int Count = 1;  // requests it applies to; -1 = all
    // Delay, LateReply: wait before replying; Split: gap between pieces. A LateReply or Split
    // left at 0 takes kDefaultLateMs or kDefaultSplitGapMs.
    int DelayMs = 0;
    // Noise: bytes sent before the frame (may hold stray 0x55). Not called Noise: the kind is.
    std::vector<uint8_t> NoiseBytes;
    int Pieces = 2;  // Split
    int DropBytes = 1;  // ShortReply: bytes cut from the reply's end; FewerData: data bytes left out
    int ExtraBytes = 1;  // ExtraData: data bytes more than asked

    // Also accepts the brace forms {kind}, {kind, count} and {kind, count, delayMs}.
    TSimFault(TKind kind = Silence, int count = 1, int delayMs = 0) : Kind(kind), Count(count), DelayMs(delayMs) {}

    static constexpr int kDefaultLateMs = 1200;  // beyond the longest reply timeout the tool uses
    static constexpr int kDefaultSplitGapMs = 10;
};

// One piece of output the transport must send: bytes, after a pause from the previous piece.
struct TSimChunk {
    int PauseMs = 0;
    std::vector<uint8_t> Bytes;
};

// What the module does in answer to one request.
struct TSimReply {
    std::vector<TSimChunk> Chunks;  // empty = stay silent
    bool HangUp = false;  // close the line after the chunks
};

class TModuleSim {
public:
    static constexpr int kMemorySize = 1024;
    static constexpr int kDefaultsSize = 125;
    // The link's function codes and framing, under the names the module's callers use.
    static constexpr uint8_t kFnRead = kKorFunctionRead;
    static constexpr uint8_t kFnWrite = kKorFunctionWrite;
    static constexpr uint8_t kFnCommand = kKorFunctionCommand;

    // The factory memory the module ships with at addresses 0..124.
    static const uint8_t kFactoryDefaults[kDefaultsSize];

    TModuleSim();

    // Parameter memory. Reads past the end are clamped; writes past the end are dropped.
    std::vector<uint8_t> ReadMemory(int address, int count) const;
    void WriteMemory(int address, const std::vector<uint8_t>& bytes);
    // False when the file is not a memory image: fileError, if given, is then the file utilities'
    // code, or 0 when the file was read but is not kMemorySize bytes.
    bool LoadMemoryFile(const std::string& path, int* fileError = nullptr);
    // Whole or not at all, readable by its owner only.
    bool SaveMemoryFile(const std::string& path) const;
    // When set, the memory is saved there after every write request.
    void SetMemoryFile(const std::string& path);

    std::vector<std::vector<uint8_t>> ReceivedFrames() const;
    // Only the frames of one function (the writes, without the reads before them).
    std::vector<std::vector<uint8_t>> ReceivedFrames(uint8_t function) const;
    void ClearReceivedFrames();

    // Last action of the output command for that output; -1 when none came.
    int OutputAction(int output) const;

    // Mode-1 key polls answer empty until afterPolls polls have passed, then with the code: once,
    // or, with held set, at every poll from then on (a key left lying on the reader).
    void PresentKey(const uint8_t romCode[8], int afterPolls, bool held = false);
    // A reader that answers the arming request with 8 data bytes, as a confused module would.
    void SetArmingReplyOf8(bool on);
    bool KeyPending() const;
    int KeyPolls() const;  // mode-1 polls seen since the last PresentKey

    void InjectFault(const TSimFault& fault);
    void ClearFaults();
    // The faults still to come, the one in force first; each Count is what is left of it.
    std::vector<TSimFault> Faults() const;

    // Called by the transport with one complete frame (start byte to CRC). Damaged frames,
    // unknown requests and writes reaching past the memory get no reply; reads are clamped.
    TSimReply HandleFrame(const std::vector<uint8_t>& frame);

    static std::vector<uint8_t> MakeFrame(uint8_t function, const std::vector<uint8_t>& data)
    {
        return KorFrame(function, data);
    }

private:
    std::vector<uint8_t> Answer(const std::vector<uint8_t>& frame, bool& answered, bool& wrote);
    bool TakeFault(TSimFault& fault);
    static TSimReply ApplyFault(const TSimFault& fault, std::vector<uint8_t> reply);
    bool SaveLocked(const std::string& path) const;

    mutable std::mutex FMutex;
    std::vector<uint8_t> FMemory;
    std::vector<std::vector<uint8_t>> FFrames;
    int FOutputActions[256];
    std::deque<TSimFault> FFaults;
    std::string FMemoryFile;
    bool FKeyPresent = false;
    bool FKeyHeld = false;
    bool FArmingReplyOf8 = false;
    uint8_t FKey[8] = {};
    int FKeyAfterPolls = 0;
    int FKeyPolls = 0;
};

// Hunts frames out of a byte stream: skips to 0x55, waits for the length byte, then for L+5 bytes.
// A candidate whose CRC fails loses only its start byte, so a 0x55 inside it can still start a
// frame. A candidate that stalls (a stray 0x55 announcing more bytes than ever come) is given up
// by Expire once the line has been quiet for kIdleGapMs.
class TSimFrameReceiver {
public:
    static constexpr int kIdleGapMs = 20;

    // Feeds bytes; returns every frame completed by them (CRC good), in order.
    std::vector<std::vector<uint8_t>> Feed(const uint8_t* bytes, size_t count);
    // Drops the start byte of the pending candidate and hunts again in what follows it.
    std::vector<std::vector<uint8_t>> Expire();
    size_t Pending() const { return FBuffer.size(); }
    int DroppedBytes() const { return FDropped; }

private:
    void Scan(std::vector<std::vector<uint8_t>>& frames);

    std::vector<uint8_t> FBuffer;
    int FDropped = 0;
};

// Told of each request the line carried and the module's reply to it, on the line's thread.
using TSimTrace = std::function<void(const std::vector<uint8_t>& request, const TSimReply& reply)>;

class TSimPty {
public:
    static constexpr double kByteMicros = 10.0 * 1e6 / 115200.0;  // 8N1 at 115200 bit/s

    // Throws std::system_error when no pseudo-terminal can be had.
    explicit TSimPty(TModuleSim& sim, bool lineTiming = false, TSimTrace trace = nullptr);
    ~TSimPty();
    TSimPty(const TSimPty&) = delete;
    TSimPty& operator=(const TSimPty&) = delete;

    const std::string& SlavePath() const { return FSlavePath; }
    // Makes path a symbolic link to the slave, replacing an old link but never a real file.
    // The destructor removes it while it still points at our slave.
    bool MakeLink(const std::string& path);
    // True while the master is open (a HangUp fault closes it for good).
    bool LineUp() const { return FLineUp.load(); }
    // Replies written whole to the line, and bytes taken from it: what a test waits for.
    int RepliesSent() const { return FRepliesSent.load(); }
    size_t BytesTaken() const { return FBytesTaken.load(); }

private:
    void Run();
    void Respond(const std::vector<uint8_t>& frame);
    bool SendChunks(const TSimReply& reply);
    bool WriteAll(const uint8_t* bytes, size_t count);
    bool WaitStop(int ms);
    bool WaitUntil(std::chrono::steady_clock::time_point deadline);

    TModuleSim& FSim;
    bool FLineTiming;
    const TSimTrace FTrace;
    std::chrono::steady_clock::time_point FOutLineFree{};  // when our side of the line is idle again
    int FMaster = -1;  // touched by the thread only, once it runs
    int FSlaveKeep = -1;  // our own slave descriptor keeps the line from reporting a hang-up
    int FWakeRead = -1, FWakeWrite = -1;
    std::string FSlavePath;
    std::string FLinkPath;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FLineUp{false};
    std::atomic<int> FRepliesSent{0};
    std::atomic<size_t> FBytesTaken{0};
    std::thread FThread;
};
