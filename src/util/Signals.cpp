#include "util/Signals.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

// The handler reaches no object: what it touches lives here, for the one TStopSignals there is.
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler counts with it");
std::atomic<int> g_stops{0};
std::atomic<bool> g_active{false};

}  // namespace

#ifndef _WIN32

void IgnoreFileSizeSignal()
{
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
        current.sa_handler == SIG_DFL) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, nullptr);
    }
}

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM};
constexpr int kStopSignalCount = int(sizeof kStopSignals / sizeof kStopSignals[0]);

std::atomic<int> g_wakeWrite{-1};
int g_wakeRead = -1;
struct sigaction g_previous[kStopSignalCount];

void WakeWaiter()
{
    const char byte = 1;
    // A full pipe already holds a wake-up: the byte may be lost.
    const ssize_t written = write(g_wakeWrite.load(), &byte, 1);
    (void)written;
}

extern "C" void OnStopSignal(int)
{
    const int saved = errno;
    ++g_stops;
    WakeWaiter();
    errno = saved;
}

bool NonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

}  // namespace

TStopSignals::TStopSignals()
{
    if (g_active.exchange(true))
        throw std::logic_error("one TStopSignals at a time");
    int fds[2];
    if (pipe(fds) != 0 || !NonBlocking(fds[0]) || !NonBlocking(fds[1])) {
        const int error = errno;
        g_active = false;
        throw std::system_error(error, std::generic_category(), "stop signals: pipe");
    }
    g_wakeRead = fds[0];
    g_wakeWrite = fds[1];
    g_stops = 0;
    struct sigaction onStop {};
    onStop.sa_handler = OnStopSignal;
    // The other threads' calls go on where they were: a stop is the main thread's business.
    onStop.sa_flags = SA_RESTART;
    sigemptyset(&onStop.sa_mask);
    for (int signal : kStopSignals)
        sigaddset(&onStop.sa_mask, signal);
    for (int i = 0; i < kStopSignalCount; ++i)
        sigaction(kStopSignals[i], &onStop, &g_previous[i]);
}

TStopSignals::~TStopSignals()
{
    for (int i = 0; i < kStopSignalCount; ++i)
        sigaction(kStopSignals[i], &g_previous[i], nullptr);
    close(g_wakeWrite.exchange(-1));
    close(g_wakeRead);
    g_wakeRead = -1;
    g_active = false;
}

int TStopSignals::Wait(int timeoutMs)
{
    using TClock = std::chrono::steady_clock;
    const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int waitMs = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
            waitMs = left > 0 ? int(left) : 0;
        }
        pollfd wake{g_wakeRead, POLLIN, 0};
        const int ready = poll(&wake, 1, waitMs);
        if (ready < 0 && errno == EINTR)
            continue;  // our own handler, most likely: its byte is read next time round
        if (ready > 0) {
            char bytes[64];
            while (read(g_wakeRead, bytes, sizeof bytes) > 0) {
            }
        }
        return g_stops.load();
    }
}

void TStopSignals::Wake()
{
    WakeWaiter();
}

#else

void IgnoreFileSizeSignal()
{
}

namespace {

// The system gives a closing console 5 s before it ends the process anyway.
constexpr DWORD kCloseGraceMs = 4500;

// Made once and never closed: a handler thread may still wait on them after the object went.
HANDLE g_wake = nullptr;      // auto-reset: a stop asked or Wake called
HANDLE g_finished = nullptr;  // manual-reset: the object went, the stop is done

BOOL WINAPI OnConsoleEvent(DWORD type)
{
    if (!g_active.load())
        return FALSE;
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        ++g_stops;
        SetEvent(g_wake);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        ++g_stops;
        SetEvent(g_wake);
        // The process ends as soon as this returns.
        WaitForSingleObject(g_finished, kCloseGraceMs);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

TStopSignals::TStopSignals()
{
    if (g_active.exchange(true))
        throw std::logic_error("one TStopSignals at a time");
    if (g_wake == nullptr)
        g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (g_finished == nullptr)
        g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_wake == nullptr || g_finished == nullptr) {
        g_active = false;
        throw std::system_error(int(GetLastError()), std::system_category(), "stop signals: event");
    }
    ResetEvent(g_wake);
    ResetEvent(g_finished);
    g_stops = 0;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

TStopSignals::~TStopSignals()
{
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_active = false;
    SetEvent(g_finished);
}

int TStopSignals::Wait(int timeoutMs)
{
    WaitForSingleObject(g_wake, timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
    return g_stops.load();
}

void TStopSignals::Wake()
{
    SetEvent(g_wake);
}

#endif

int TStopSignals::Count() const
{
    return g_stops.load();
}
