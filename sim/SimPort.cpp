#include "sim/SimPort.h"

#include <algorithm>
#include <thread>

namespace {

std::chrono::steady_clock::duration ByteTime()
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double, std::micro>(TSimPty::kByteMicros));
}

}  // namespace

TSimPort::TSimPort(TModuleSim& sim, std::string name) : FSim(sim), FName(std::move(name)) {}

bool TSimPort::IsOpen()
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FOpen;
}

void TSimPort::Open()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FOpen = true;
    FHangUpAt = TClock::time_point::max();
}

void TSimPort::Close()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FOpen = false;
}

int TSimPort::Replies()
{
    std::lock_guard<std::mutex> lock(FMutex);
    CountArrived(TClock::now());
    return FRepliesIn;
}

void TSimPort::CountArrived(TClock::time_point now)
{
    while (!FReplyEnds.empty() && FReplyEnds.front() <= now) {
        FReplyEnds.pop_front();
        ++FRepliesIn;
    }
}

bool TSimPort::SetTimeout(int ms)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FTimeoutMs = std::max(ms, 0);
    return true;
}

void TSimPort::Purge()
{
    std::lock_guard<std::mutex> lock(FMutex);
    // Only what has arrived: a reply still on its way lands after the purge, as on the wire.
    const auto now = TClock::now();
    while (!FInput.empty() && FInput.front().Due <= now)
        FInput.pop_front();
}

int TSimPort::Unread()
{
    std::lock_guard<std::mutex> lock(FMutex);
    const auto now = TClock::now();
    int n = 0;
    while (n < static_cast<int>(FInput.size()) && FInput[static_cast<size_t>(n)].Due <= now)
        ++n;
    return n;
}

bool TSimPort::Write(const void* buffer, int count)
{
    std::lock_guard<std::mutex> lock(FMutex);
    const auto now = TClock::now();
    if (!FOpen || now >= FHangUpAt)
        return false;
    // A candidate left stalled by a quiet line is given up, as the module's receiver does.
    const auto quiet = now - std::max(FToModuleFree, FModuleFree);
    if (FReceiver.Pending() != 0 && quiet >= std::chrono::milliseconds(TSimFrameReceiver::kIdleGapMs)) {
        for (const auto& frame : FReceiver.Expire())
            Respond(frame, now);
    }
    const auto start = std::max(now, FToModuleFree);
    FToModuleFree = start + ByteTime() * count;
    for (const auto& frame : FReceiver.Feed(static_cast<const uint8_t*>(buffer), static_cast<size_t>(count)))
        Respond(frame, FToModuleFree);
    return true;
}

void TSimPort::Respond(const std::vector<uint8_t>& frame, TClock::time_point arrived)
{
    const TSimReply reply = FSim.HandleFrame(frame);
    // The module answers one request at a time.
    auto t = std::max(arrived, FModuleFree);
    for (const TSimChunk& chunk : reply.Chunks) {
        t += std::chrono::milliseconds(chunk.PauseMs);
        bool first = true;
        for (const uint8_t b : chunk.Bytes) {
            t += ByteTime();
            FInput.push_back({t, b, first});
            first = false;
        }
    }
    if (!reply.Chunks.empty()) {
        CountArrived(arrived);  // so that a port nobody asks keeps only the replies on their way
        FReplyEnds.push_back(t);
    }
    FModuleFree = t;
    if (reply.HangUp)
        FHangUpAt = std::min(FHangUpAt, t);
}

int TSimPort::Read(void* buffer, int count)
{
    std::unique_lock<std::mutex> lock(FMutex);
    if (!FOpen || count <= 0)
        return 0;
    const auto deadline = TClock::now() + std::chrono::milliseconds(FTimeoutMs);
    if (FInput.empty() || FInput.front().Due > deadline) {
        lock.unlock();
        std::this_thread::sleep_until(deadline);
        lock.lock();
        if (FInput.empty() || FInput.front().Due > TClock::now())
            return 0;
    }
    // The piece that starts with the first byte, as a serial driver hands over what came in one
    // go; waiting for its last byte keeps the whole exchange at the line's own pace.
    size_t n = 1;
    while (n < FInput.size() && static_cast<int>(n) < count && !FInput[n].StartsPiece)
        ++n;
    const auto lastDue = FInput[n - 1].Due;
    lock.unlock();
    std::this_thread::sleep_until(lastDue);
    lock.lock();
    // A purge or close in between may have taken them.
    n = std::min(n, FInput.size());
    auto* out = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < n; ++i) {
        out[i] = FInput.front().Value;
        FInput.pop_front();
    }
    return static_cast<int>(n);
}
