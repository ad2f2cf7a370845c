#pragma once
#include <mutex>
#include <string>

#include "util/LogFileBase.h"

// Broken-down local time as the log uses it.
struct TLogTime {
    int Year = 0;
    int Month = 0;        // 1 … 12
    int Day = 0;          // 1 … 31
    int WeekDay = 0;      // 1 … 7, Sunday = 1
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// The local time now.
TLogTime LocalTimeNow();

// A log in a directory with one sub-directory per day ("yyyy.mm.dd"), records headed by a
// severity letter and a time stamp or an indent.
class TLogFile : public TLogFileBase {
public:
    // Stamp modes for Write; a mode of 0 or more indents by that many spaces.
    static constexpr int StampTime = -1;  // "hh:mm:ss.zzz " after the letter
    static constexpr int Continue = -2;   // no line break, no letter: extends the last line
    static constexpr int Blank = -3;      // as wide as the time stamp, but blank
    static constexpr int StampWidth = 13;

    // Severities: the letters D, I, N, W, E, F; anything else is shown as "?".
    enum { Debug = 0, Info = 1, Notice = 2, Warning = 3, Error = 4, Fatal = 5 };

    TLogFile() = default;
    virtual ~TLogFile() = default;

    // Meant to be called before any writer starts. With recreate set, the first write into each
    // newly chosen file (the one opened here, and each new day's) starts it empty.
    void Open(const std::string& directory, const std::string& name, bool recreate);

    // Writes one record; the text may hold several lines (CR, LF or CR LF). An empty text
    // writes nothing at all, not even the line break that would begin the record.
    virtual void Write(int severity, int mode, const std::string& text);

    // The path of today's file, creating the log directory and the day directory (one level
    // each) when missing. A failure to create them is not reported: the writes then fail.
    std::string BuildPath();

    // True when the day of the week differs from the one seen last, and remembers it. Only the
    // day of the week is compared, so a log left alone for exactly seven days stays put.
    bool DayChanged();

    // The record text that Write would append, without writing it.
    std::string FormatRecord(int severity, int mode, const std::string& text) const;

protected:
    // Local time now; tests replace it to pin the stamp and the date.
    virtual TLogTime Now() const;

    std::string FDirectory;  // ends in the path separator once opened
    std::string FName;
    bool FRecreate = false;
    int FWeekDay = 0;        // 0 = never opened

private:
    std::string BuildPathAt(const TLogTime& time);

    // Writers on several threads may meet at a day change; this keeps the day fields whole.
    std::mutex FDayLock;
};

// A log of one file a day, "<prefix>yyyy-mm-dd.log" in one folder, kept keepDays days: the first
// write of a day removes the older files of that name pattern (regular files only; anything else
// in the folder is left alone). The folder is made the user's alone.
//
// A write never waits and never lands anywhere but a regular file in that folder: each one opens
// the folder without following a link and the day's file inside it, without blocking, append-only.
// A link, a FIFO or a device where the file should be, a folder that is a link, another user's or
// writable by others, or a write that fails (a full disk, the file size limit) turns the log off
// for the rest of the run, and OffReason says why.
class TDailyLog {
public:
    TDailyLog(const std::string& folder, const std::string& prefix, int keepDays);
    virtual ~TDailyLog() = default;
    TDailyLog(const TDailyLog&) = delete;
    TDailyLog& operator=(const TDailyLog&) = delete;

    // Appends the text as one record, a line break added; today's file is started when missing.
    // False when the log is off, by this write or an earlier one.
    bool Write(const std::string& text);
    // Empty while the log works; once it is off, «Журнал на диске отключён: <path> — <cause>».
    std::string OffReason() const;

protected:
    // Local time now; tests replace it to pin the date.
    virtual TLogTime Now() const { return LocalTimeNow(); }

private:
    bool TurnOff(const std::string& path, int error);

    const std::string FFolder;
    const std::string FPrefix;
    const int FKeepDays;
    mutable std::mutex FLock;  // guards the fields below and every write
    std::string FDay;          // the date of the file in use, "yyyy-mm-dd"
    std::string FOffReason;
};
