#include "sim/ModuleSim.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kStalledWriteMs = 1000;  // a tool that stops reading loses the rest, as on a real line
constexpr int kLineDownPauseMs = 20;   // breathing space after an unexpected error, so we never spin
constexpr int kHangUpDrainMinMs = 10;
constexpr int kHangUpDrainMaxMs = 200;

TClock::duration ByteTime()
{
    return std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double, std::micro>(TSimPty::kByteMicros));
}

[[noreturn]] void RaiseErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

TSimPty::TSimPty(TModuleSim& sim, bool lineTiming, TSimTrace trace)
    : FSim(sim), FLineTiming(lineTiming), FTrace(std::move(trace))
{
    FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FMaster < 0)
        RaiseErrno("posix_openpt");
    char name[128];
    if (grantpt(FMaster) != 0 || unlockpt(FMaster) != 0 || ptsname_r(FMaster, name, sizeof name) != 0) {
        const int err = errno;
        close(FMaster);
        errno = err;
        RaiseErrno("pseudo-terminal setup");
    }
    FSlavePath = name;
    FSlaveKeep = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    int pipeFds[2];
    if (FSlaveKeep < 0 || pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int err = errno;
        if (FSlaveKeep >= 0)
            close(FSlaveKeep);
        close(FMaster);
        errno = err;
        RaiseErrno("pseudo-terminal slave");
    }
    FWakeRead = pipeFds[0];
    FWakeWrite = pipeFds[1];

    // The line discipline lives on the slave side: raw, so nothing is echoed or translated.
    termios tio{};
    tcgetattr(FSlaveKeep, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(FSlaveKeep, TCSANOW, &tio);
    fcntl(FMaster, F_SETFL, fcntl(FMaster, F_GETFL) | O_NONBLOCK);

    FLineUp = true;
    FThread = std::thread(&TSimPty::Run, this);
}

TSimPty::~TSimPty()
{
    FStop = true;
    const uint8_t wake = 1;
    (void)!write(FWakeWrite, &wake, 1);
    if (FThread.joinable())
        FThread.join();
    if (!FLinkPath.empty()) {
        char target[PATH_MAX];
        const ssize_t n = readlink(FLinkPath.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<size_t>(n)) == FSlavePath)
            unlink(FLinkPath.c_str());
    }
    if (FMaster >= 0)
        close(FMaster);
    close(FSlaveKeep);
    close(FWakeRead);
    close(FWakeWrite);
}

bool TSimPty::MakeLink(const std::string& path)
{
    // Only an old link is replaced; a real file at that path is not ours to delete.
    struct stat st{};
    if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        return false;
    const std::string temp = path + ".new" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(FSlavePath.c_str(), temp.c_str()) != 0)
        return false;
    if (rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    FLinkPath = path;
    return true;
}

// Waits ms, or until the destructor asks the thread to stop (then true).
bool TSimPty::WaitStop(int ms)
{
    return WaitUntil(TClock::now() + std::chrono::milliseconds(ms));
}

bool TSimPty::WaitUntil(TClock::time_point deadline)
{
    for (;;) {
        if (FStop)
            return true;
        const auto now = TClock::now();
        if (now >= deadline)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now).count();
        timespec ts{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
        pollfd fd{FWakeRead, POLLIN, 0};
        ppoll(&fd, 1, &ts, nullptr);
    }
}

bool TSimPty::WriteAll(const uint8_t* bytes, size_t count)
{
    while (count > 0 && FMaster >= 0) {
        const ssize_t n = write(FMaster, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        pollfd fds[2] = {{FMaster, POLLOUT, 0}, {FWakeRead, POLLIN, 0}};
        const int r = poll(fds, 2, kStalledWriteMs);
        if (FStop || r == 0)
            return false;
    }
    return count == 0;
}

bool TSimPty::SendChunks(const TSimReply& reply)
{
    for (const TSimChunk& chunk : reply.Chunks) {
        if (chunk.PauseMs > 0 && WaitStop(chunk.PauseMs))
            return false;
        if (!FLineTiming) {
            if (!WriteAll(chunk.Bytes.data(), chunk.Bytes.size()))
                return false;
            continue;
        }
        // Byte j is on the far side once its ten bits have gone out; each wake-up sends every byte
        // that is due, so a late wake-up never stretches the whole reply.
        const auto start = std::max(TClock::now(), FOutLineFree);
        const size_t total = chunk.Bytes.size();
        size_t sent = 0;
        while (sent < total) {
            const auto now = TClock::now();
            size_t due = sent;
            while (due < total && start + ByteTime() * static_cast<long>(due + 1) <= now)
                ++due;
            if (due > sent) {
                if (!WriteAll(chunk.Bytes.data() + sent, due - sent))
                    return false;
                sent = due;
                continue;
            }
            if (WaitUntil(start + ByteTime() * static_cast<long>(sent + 1)))
                return false;
        }
        FOutLineFree = start + ByteTime() * static_cast<long>(total);
    }
    return true;
}

void TSimPty::Respond(const std::vector<uint8_t>& frame)
{
    const TSimReply reply = FSim.HandleFrame(frame);
    if (FTrace)
        FTrace(frame, reply);
    if (!reply.Chunks.empty() && SendChunks(reply))
        ++FRepliesSent;
    if (reply.HangUp && FMaster >= 0) {
        // Closing the master throws away what the tool has not read yet; let the bytes sent so
        // far reach it first, as they would have on a real line before it went dead. They need
        // a moment to show in the slave's queue at all, hence the minimum.
        const auto start = TClock::now();
        int unread = 0;
        while (!WaitStop(1)) {
            const auto spent = TClock::now() - start;
            if (spent >= std::chrono::milliseconds(kHangUpDrainMaxMs))
                break;
            if (spent >= std::chrono::milliseconds(kHangUpDrainMinMs)
                && (ioctl(FSlaveKeep, FIONREAD, &unread) != 0 || unread == 0))
                break;
        }
        FLineUp = false;
        close(FMaster);
        FMaster = -1;
    }
}

void TSimPty::Run()
{
    TSimFrameReceiver receiver;
    auto inLineFree = TClock::now();
    auto lastByte = TClock::now();
    uint8_t buffer[4096];

    while (!FStop) {
        int timeoutMs = -1;
        if (receiver.Pending() > 0 && FMaster >= 0) {
            const auto quietUntil = lastByte + std::chrono::milliseconds(TSimFrameReceiver::kIdleGapMs);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(quietUntil - TClock::now()).count();
            timeoutMs = static_cast<int>(std::max<long long>(0, left));
        }
        pollfd fds[2] = {{FWakeRead, POLLIN, 0}, {FMaster, POLLIN, 0}};
        const int r = poll(fds, FMaster >= 0 ? 2 : 1, timeoutMs);
        if (r < 0) {
            if (errno != EINTR && WaitStop(kLineDownPauseMs))
                break;
            continue;
        }
        if (fds[0].revents & POLLIN) {
            uint8_t drain[64];
            while (read(FWakeRead, drain, sizeof drain) > 0) {
            }
            continue;
        }
        if (r == 0) {
            for (const auto& frame : receiver.Expire())
                Respond(frame);
            continue;
        }
        if (FMaster < 0)
            continue;
        if (!(fds[1].revents & POLLIN)) {
            // We hold the slave open, so a hang-up report is unexpected; never spin on it.
            if (fds[1].revents && WaitStop(kLineDownPauseMs))
                break;
            continue;
        }
        const ssize_t n = read(FMaster, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (WaitStop(kLineDownPauseMs))
                break;
            continue;
        }
        FBytesTaken += static_cast<size_t>(n);
        const auto now = TClock::now();
        lastByte = now;
        if (!FLineTiming) {
            for (const auto& frame : receiver.Feed(buffer, static_cast<size_t>(n)))
                Respond(frame);
            continue;
        }
        // A frame counts as arrived only once its last byte would have crossed the line.
        inLineFree = std::max(inLineFree, now);
        for (ssize_t i = 0; i < n && !FStop; ++i) {
            inLineFree += ByteTime();
            for (const auto& frame : receiver.Feed(buffer + i, 1)) {
                if (WaitUntil(inLineFree))
                    break;
                Respond(frame);
            }
        }
        lastByte = TClock::now();
    }
}
