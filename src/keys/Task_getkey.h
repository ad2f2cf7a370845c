#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "keys/Ow_keyutils.h"

class TKOR_ZEM;
class TThreadTaskManager;

// The task thread's number for reading a key from the module's reader.
constexpr int KeyReadTaskId = 1;

// How the reader's state is shown: the text's colour.
enum class TKeyStatusColor { Black, Maroon, Green, Red };

// One reading of the reader, from "Старт" to a key, "Стоп" or the dialog's end. The dialog
// keeps it and looks at it on its own thread; the task thread runs it. The two meet only here,
// under one lock: the status, then the key with its flag set in the same step.
class TKeyReadRun {
public:
    struct TState {
        bool Ended = false;    // the run is over (or will never start)
        bool KeyRead = false;  // Key holds a key from the reader, in display order
        uint8_t Key[KeyCodeSize] = {};
        std::string Status;
        TKeyStatusColor StatusColor = TKeyStatusColor::Black;
    };

    TState State() const;

    // Before the run is handed over: a key that lay on the reader for the dialog before this
    // one. While the reader goes on reporting it the run waits on as if no key were there; once
    // the reader reports no key, that key counts again when it is laid on the reader.
    void PassOver(const TKeyRecord& key);

    // Stops the run and returns once it can no longer touch the device: at once when the task
    // thread has not begun it, else after the exchange under way (one exchange plus 100 ms at
    // most). A run never begun is then never begun.
    void Stop();

    // On the task thread: polls the reader until a key comes or the run is stopped.
    // `threadCancel` is the task thread's own flag (set when it shuts down).
    void Execute(TKOR_ZEM& device, const std::atomic<bool>& threadCancel);

private:
    enum class TPhase { Pending, Running, Ended };

    bool Begin();
    void End();
    void SetStatus(const char* text, TKeyStatusColor color);
    // Waits up to the pause between polls; false when the run was stopped meanwhile.
    bool Pause(const std::atomic<bool>& threadCancel);
    bool Stopping(const std::atomic<bool>& threadCancel) const;

    mutable std::mutex FLock;
    std::condition_variable FChanged;
    TPhase FPhase = TPhase::Pending;
    bool FStop = false;
    TState FState;
    std::optional<std::array<uint8_t, sizeof TKeyRecord::Serial>> FPassOver;
};

// Hands the run to the task thread as task KeyReadTaskId, to read through `device`. False when
// the thread's queue refused it; the run is then ended.
bool StartKeyRead(TThreadTaskManager& tasks, TKOR_ZEM& device, const std::shared_ptr<TKeyReadRun>& run);
