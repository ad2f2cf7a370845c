#pragma once

// A write past the file size limit (RLIMIT_FSIZE) fails with EFBIG, which every save reports,
// instead of killing the program with SIGXFSZ halfway through a file. A handler someone else set
// stays. Nothing on Windows, which has no such signal.
void IgnoreFileSizeSignal();

// The requests to stop that come from outside: SIGINT and SIGTERM on POSIX, Ctrl+C, Ctrl+Break
// and the console's closing on Windows. The handler only counts them and wakes Wait, whose caller
// does the stopping. One object at a time in a process (a second one throws std::logic_error);
// the handling from before comes back when it goes. Throws std::system_error when the system
// gives no means to wake the waiter. A console closing on Windows ends the process once its
// handler returns: the handler holds it, as long as the system lets it, until the object goes.
class TStopSignals {
public:
    TStopSignals();
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // Returns once a stop was asked or Wake was called since the last return, or after timeoutMs
    // (negative: no end); the stops asked so far.
    int Wait(int timeoutMs);
    // Ends the Wait under way, or the next one, from any thread.
    void Wake();
    int Count() const;
};
