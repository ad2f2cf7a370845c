#pragma once
// The tool's end of the line, reduced to what the simulator tests need: a raw descriptor on the
// slave, writes, and reads bounded by a timeout.

#include "sim/ModuleSim.h"

#include <chrono>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

class TSlaveLine {
public:
    explicit TSlaveLine(const std::string& path)
    {
        FFd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (FFd >= 0) {
            termios tio{};
            tcgetattr(FFd, &tio);
            cfmakeraw(&tio);
            tcsetattr(FFd, TCSANOW, &tio);
        }
    }
    ~TSlaveLine() { Close(); }
    TSlaveLine(const TSlaveLine&) = delete;
    TSlaveLine& operator=(const TSlaveLine&) = delete;

    bool IsOpen() const { return FFd >= 0; }
    int Fd() const { return FFd; }
    void Close()
    {
        if (FFd >= 0)
            close(FFd);
        FFd = -1;
    }

    bool Send(const std::vector<uint8_t>& bytes)
    {
        return write(FFd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Reads until a whole frame (from the first 0x55, L + 5 bytes) is in, or the time is up.
    // Returns everything read, bytes before the frame included. LastError is set on a failed read.
    std::vector<uint8_t> ReadFrame(int timeoutMs)
    {
        return ReadUntil(timeoutMs, true, SIZE_MAX);
    }

    // Reads whatever arrives within the time.
    std::vector<uint8_t> ReadFor(int timeoutMs) { return ReadUntil(timeoutMs, false, SIZE_MAX); }
    // Reads until count bytes are in, with a patience that only a broken line exhausts.
    std::vector<uint8_t> ReadCount(size_t count, int timeoutMs = 10000)
    {
        return ReadUntil(timeoutMs, false, count);
    }

    // Sends a request and returns the reply frame (or what came of it).
    std::vector<uint8_t> Exchange(uint8_t function, const std::vector<uint8_t>& data, int timeoutMs = 1000)
    {
        Send(KorFrame(function, data));
        return ReadFrame(timeoutMs);
    }

    int LastError = 0;
    bool HungUp = false;

private:
    static bool HasFrame(const std::vector<uint8_t>& bytes)
    {
        size_t start = 0;
        while (start < bytes.size() && bytes[start] != kKorStartByte)
            ++start;
        return bytes.size() >= start + 3 && bytes.size() >= start + bytes[start + 2] + kKorFrameOverhead;
    }

    std::vector<uint8_t> ReadUntil(int timeoutMs, bool stopAtFrame, size_t count)
    {
        using namespace std::chrono;
        std::vector<uint8_t> got;
        const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
        for (;;) {
            if ((stopAtFrame && HasFrame(got)) || got.size() >= count)
                return got;
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            if (left <= 0)
                return got;
            pollfd fd{FFd, POLLIN, 0};
            const int r = poll(&fd, 1, static_cast<int>(left));
            if (r <= 0)
                continue;
            uint8_t buffer[512];
            const ssize_t n = read(FFd, buffer, sizeof buffer);
            if (n > 0) {
                got.insert(got.end(), buffer, buffer + n);
                continue;
            }
            if (n < 0 && errno == EAGAIN)
                continue;
            LastError = n < 0 ? errno : 0;
            HungUp = true;
            return got;
        }
    }

    int FFd = -1;
};
