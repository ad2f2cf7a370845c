#pragma once
// Every frame of this run, grouped by the operation it belonged to, for the exchange monitor, the
// diagnostic log and the support report. Frames are noted on the exchange's own thread at the
// cost of a short lock; readers take copies.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "link/FrameText.h"
#include "util/LogFile.h"

struct TFrameRecord {
    bool ToModule = true;
    int TimeMs = 0;  // since the operation's start
    TFrameText Text;
    std::string Outcome;  // WireOutcomeText
    bool Error = false;   // anything but a plain request or a good, clean reply
};

struct TOperationRecord {
    uint64_t Number = 0;  // 1, 2, … in the order begun
    std::string Title;
    std::string Port;  // the port it went through, as the operator named it; may be empty
    TLogTime Started;
    bool Finished = false;
    bool Succeeded = false;
    bool Stopped = false;  // cancelled by the operator: Result says how
    std::string Result;    // why it failed or how it stopped
    int DurationMs = 0;
    std::vector<TFrameRecord> Frames;
    int FramesDropped = 0;  // beyond what one operation keeps
};

// "Чтение настроек 14:02:31 — успешно, 12 мс, 2 кадра"; "Запись ключей 14:03:05 — ошибка: …".
std::string OperationHeader(const TOperationRecord& operation);
// "   12 мс  →  55 6E 03 …  Чтение параметров: адрес 0, 125 байт  [ошибка CRC, попытка 1 из 3]"
std::string FrameLine(const TFrameRecord& frame);
// The header, the date before it, and a line for each frame.
std::string OperationText(const TOperationRecord& operation);

// Several operations may be open at once, one per port (a production line): each is begun, fed
// and ended by its number.
class TExchangeRecorder {
public:
    static constexpr size_t kOperationsKept = 1000;
    static constexpr size_t kFramesKept = 5000;  // of one operation (a key reader polls for long)

    // Parameter addresses whose bytes are never recorded. Set before the first operation.
    void SetSecrets(const TSecretRanges& secrets);
    // Each finished operation is written there too; null = nowhere (not owned).
    void SetLog(TDailyLog* log);
    // Once the log has turned itself off, the one line that says why; empty until then.
    std::string LogNotice() const;

    // Frames are recorded only between Begin and End of their operation.
    uint64_t Begin(const std::string& title, const std::string& port = std::string());
    void End(uint64_t operation, bool succeeded, const std::string& result, bool stopped = false);
    void Note(uint64_t operation, const TWireEvent& event);

    // Changes with every frame and every begin or end: a reader compares it to skip the copy.
    uint64_t Version() const { return FVersion.load(std::memory_order_acquire); }
    // Copies of the operations numbered from `number` on, oldest first.
    std::vector<TOperationRecord> Since(uint64_t number) const;
    // Copies of the last `count` operations, oldest first.
    std::vector<TOperationRecord> Last(size_t count) const;

private:
    void WriteLog(TDailyLog* log, const std::string& text);

    using TClock = std::chrono::steady_clock;
    struct TOpen {
        uint64_t Number;
        TClock::time_point Start;
    };
    // The record of an open operation; null once it has ended or dropped out of the list.
    TOperationRecord* OpenRecord(uint64_t number, TClock::time_point* start);

    mutable std::mutex FLock;
    TSecretRanges FSecrets;
    TDailyLog* FLog = nullptr;
    std::string FLogNotice;
    std::deque<TOperationRecord> FOperations;
    std::vector<TOpen> FOpen;
    uint64_t FNext = 1;
    std::atomic<uint64_t> FVersion{0};
};

// One port's road into the recorder: the observer of that port's protocol, noting its frames in
// the operation begun last through it. Begin and End on the thread that runs the exchanges, or
// with that thread idle.
class TRecorderChannel : public TWireObserver {
public:
    explicit TRecorderChannel(TExchangeRecorder* recorder) : FRecorder(recorder) {}

    void Begin(const std::string& title, const std::string& port = std::string());
    void End(bool succeeded, const std::string& result, bool stopped = false);
    bool InOperation() const { return FOpen; }
    void OnWire(const TWireEvent& event) override;

private:
    TExchangeRecorder* const FRecorder;  // null: nowhere
    uint64_t FOperation = 0;
    bool FOpen = false;
};
