#include "keys/Task_getkey.h"

#include <algorithm>
#include <chrono>
#include <iterator>

#include "link/KOR_ZEM.h"
#include "tasks/ThreadTaskManager.h"

namespace {

constexpr auto kPollPause = std::chrono::milliseconds(100);
constexpr uint8_t kModeArm = 0;
constexpr uint8_t kModePoll = 1;

}  // namespace

TKeyReadRun::TState TKeyReadRun::State() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FState;
}

void TKeyReadRun::Stop()
{
    std::unique_lock<std::mutex> lock(FLock);
    FStop = true;
    if (FPhase == TPhase::Pending) {
        FPhase = TPhase::Ended;
        FState.Ended = true;
    }
    FChanged.notify_all();
    FChanged.wait(lock, [this] { return FPhase == TPhase::Ended; });
}

void TKeyReadRun::PassOver(const TKeyRecord& key)
{
    std::lock_guard<std::mutex> lock(FLock);
    FPassOver.emplace();
    std::copy(std::begin(key.Serial), std::end(key.Serial), FPassOver->begin());
}

bool TKeyReadRun::Begin()
{
    std::lock_guard<std::mutex> lock(FLock);
    if (FPhase != TPhase::Pending)
        return false;
    FPhase = TPhase::Running;
    return true;
}

void TKeyReadRun::End()
{
    std::lock_guard<std::mutex> lock(FLock);
    FPhase = TPhase::Ended;
    FState.Ended = true;
    FChanged.notify_all();
}

void TKeyReadRun::SetStatus(const char* text, TKeyStatusColor color)
{
    std::lock_guard<std::mutex> lock(FLock);
    FState.Status = text;
    FState.StatusColor = color;
}

bool TKeyReadRun::Stopping(const std::atomic<bool>& threadCancel) const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FStop || threadCancel.load();
}

bool TKeyReadRun::Pause(const std::atomic<bool>& threadCancel)
{
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait_for(lock, kPollPause, [this] { return FStop; });
    return !FStop && !threadCancel.load();
}

void TKeyReadRun::Execute(TKOR_ZEM& device, const std::atomic<bool>& threadCancel)
{
    if (!Begin())
        return;
    enum class TStep { Arm, Wait, NoLink };
    TStep step = TStep::Arm;
    std::optional<std::array<uint8_t, sizeof TKeyRecord::Serial>> passOver;
    {
        std::lock_guard<std::mutex> lock(FLock);
        passOver = FPassOver;
    }
    try {
        while (!Stopping(threadCancel)) {
            if (step == TStep::Arm) {
                if (device.ReadKey(kModeArm, nullptr) == 0) {
                    SetStatus("Приложите ключ к считывателю ...", TKeyStatusColor::Maroon);
                    step = TStep::Wait;
                } else {
                    step = TStep::NoLink;
                }
            } else if (step == TStep::Wait) {
                uint8_t code[KeyCodeSize];
                const int result = device.ReadKey(kModePoll, code);
                // The serial bytes follow the family code in ROM order.
                const bool stillLying = result == 1 && passOver && std::equal(passOver->begin(), passOver->end(), code + 1);
                if (result == 0)
                    passOver.reset();  // the reader is empty: the key was taken away
                if (result == 1 && !stillLying) {
                    ReverseKeyCode(code);
                    std::lock_guard<std::mutex> lock(FLock);
                    std::copy(code, code + KeyCodeSize, FState.Key);
                    FState.Status = "Ключ успешно считан";
                    FState.StatusColor = TKeyStatusColor::Green;
                    FState.KeyRead = true;
                    break;
                }
                if (result < 0)
                    step = TStep::NoLink;
                else if (stillLying)
                    step = TStep::Arm;  // as for a key never laid: the reader is armed anew
            }
            if (step == TStep::NoLink) {
                SetStatus("Нет связи с устройством ...", TKeyStatusColor::Red);
                step = TStep::Arm;
            }
            if (!Pause(threadCancel))
                break;
        }
    } catch (...) {
        // The run ends without a key; the dialog sees it ended and offers "Старт" again.
    }
    End();
}

bool StartKeyRead(TThreadTaskManager& tasks, TKOR_ZEM& device, const std::shared_ptr<TKeyReadRun>& run)
{
    const bool posted = tasks.PostTask(KeyReadTaskId, [run, &device](const std::atomic<bool>& cancel) {
        run->Execute(device, cancel);
    });
    if (!posted)
        run->Stop();
    return posted;
}
