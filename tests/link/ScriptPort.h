#pragma once
// A byte port that plays back scripted reads and records what was written, for testing the
// packet engine without a line.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "link/ComPort.h"
#include "link/KorFrame.h"
#include "link/UniversalPort.h"

class TScriptPort : public TUniversalPort {
public:
    using TClock = std::chrono::steady_clock;

    // Bytes the "line" holds; each Read takes at most what it asks for from the front of the
    // current piece. An empty piece is a read that times out. Queued through the Queue calls.
    std::deque<std::vector<uint8_t>> Pieces;
    std::vector<std::vector<uint8_t>> Written;
    std::vector<TClock::time_point> WriteTimes;
    std::vector<int> ReadRequests;  // the count each Read asked for
    int Purges = 0;
    int Timeout = -1;
    bool FailReads = false;  // raise as a vanished device would

    void Queue(const std::vector<uint8_t>& bytes) { Push(bytes, false); }
    void QueueSilence() { Push({}, false); }
    // Bytes on the line already when the next attempt begins, as a reply that came too late:
    // Unread counts them, as it counts what a read left of a piece.
    void QueueLate(const std::vector<uint8_t>& bytes) { Push(bytes, true); }

    bool Write(const void* buffer, int count) override
    {
        const auto* b = static_cast<const uint8_t*>(buffer);
        Written.emplace_back(b, b + count);
        WriteTimes.push_back(TClock::now());
        return true;
    }
    int Read(void* buffer, int count) override
    {
        ReadRequests.push_back(count);
        if (FailReads)
            throw TComPortException("Failed to read from port.", 5);
        if (Pieces.empty())
            return 0;
        std::vector<uint8_t>& piece = Pieces.front();
        if (piece.empty()) {
            PopFront();
            return 0;
        }
        const int n = std::min<int>(count, static_cast<int>(piece.size()));
        std::memcpy(buffer, piece.data(), static_cast<size_t>(n));
        piece.erase(piece.begin(), piece.begin() + n);
        FFrontArrived = true;
        if (piece.empty())
            PopFront();
        return n;
    }
    int Unread() override
    {
        if (Pieces.empty() || !(FFrontArrived || (!FArrived.empty() && FArrived.front())))
            return 0;
        return static_cast<int>(Pieces.front().size());
    }
    bool SetTimeout(int ms) override
    {
        Timeout = ms;
        return true;
    }
    void Purge() override { ++Purges; }
    bool IsOpen() override { return true; }

private:
    void Push(const std::vector<uint8_t>& bytes, bool arrived)
    {
        Pieces.push_back(bytes);
        FArrived.push_back(arrived);
    }
    void PopFront()
    {
        Pieces.pop_front();
        if (!FArrived.empty())
            FArrived.pop_front();
        FFrontArrived = false;
    }

    std::deque<bool> FArrived;  // beside Pieces: on the line before the next request
    bool FFrontArrived = false;  // a read has taken part of the front piece
};
