#include "util/LogFile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "util/Dnxfileutils.h"

namespace {

const char* SeverityLetter(int severity)
{
    static const char* const letters[] = {"D ", "I ", "N ", "W ", "E ", "F "};
    if (severity >= 0 && severity < 6)
        return letters[severity];
    return "? ";
}

// Lines split at CR, LF or CR LF. A break at the very end starts no further line, and an empty
// text has no lines at all.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

void MakeDirectory(const std::string& path)
{
#ifdef _WIN32
    CreateDirectoryW(WidePath(path).c_str(), nullptr);  // as below; one that exists stays
#else
    struct stat info;
    if (::stat(path.c_str(), &info) == 0)
        return;
    ::mkdir(path.c_str(), 0755);  // a failure shows later as a file that will not open
#endif
}

}  // namespace

TLogTime TLogFile::Now() const
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis =
        duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    TLogTime t;
    t.Year = local.tm_year + 1900;
    t.Month = local.tm_mon + 1;
    t.Day = local.tm_mday;
    t.WeekDay = local.tm_wday + 1;
    t.Hour = local.tm_hour;
    t.Minute = local.tm_min;
    t.Second = local.tm_sec;
    t.Millisecond = static_cast<int>(millis < 0 ? millis + 1000 : millis);
    return t;
}

bool TLogFile::DayChanged()
{
    std::lock_guard<std::mutex> guard(FDayLock);
    const int day = Now().WeekDay;
    if (day == FWeekDay)
        return false;
    FWeekDay = day;
    return true;
}

std::string TLogFile::BuildPathAt(const TLogTime& time)
{
    MakeDirectory(FDirectory);
    char date[32];
    std::snprintf(date, sizeof date, "%04d.%02d.%02d", time.Year, time.Month, time.Day);
    std::string path = FDirectory + date;
    MakeDirectory(path);
    path += PathDelimiter;
    return path + FName;
}

std::string TLogFile::BuildPath()
{
    std::lock_guard<std::mutex> guard(FDayLock);
    return BuildPathAt(Now());
}

void TLogFile::Open(const std::string& directory, const std::string& name, bool recreate)
{
    std::string path;
    {
        std::lock_guard<std::mutex> guard(FDayLock);
        // One reading of the clock, so the day remembered and the folder chosen agree.
        const TLogTime now = Now();
        FWeekDay = now.WeekDay;
        FDirectory = directory;
        AddTrailingBackslash(FDirectory);
        FName = name;
        FRecreate = recreate;
        path = BuildPathAt(now);
    }
    SetFileName(path, recreate);
}

std::string TLogFile::FormatRecord(int severity, int mode, const std::string& text) const
{
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.empty())
        return std::string();
    const std::string letter = SeverityLetter(severity);
    const int indent = mode >= 0 ? mode : StampWidth;
    const std::string prefix = letter + std::string(static_cast<size_t>(indent), ' ');

    std::string record;
    if (mode != Continue) {
        record += '\n';
        record += letter;
        if (mode == StampTime) {
            const TLogTime t = Now();
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", t.Hour, t.Minute, t.Second,
                          t.Millisecond);
            record += stamp;
        } else {
            record.append(static_cast<size_t>(indent), ' ');
        }
    }
    record += lines[0];
    for (size_t i = 1; i < lines.size(); ++i) {
        record += '\n';
        record += prefix;
        record += lines[i];
    }
    return record;
}

void TLogFile::Write(int severity, int mode, const std::string& text)
{
    bool rolled = false;
    bool recreate = false;
    std::string path;
    {
        std::lock_guard<std::mutex> guard(FDayLock);
        if (FWeekDay != 0) {
            const TLogTime t = Now();
            if (t.WeekDay != FWeekDay) {
                FWeekDay = t.WeekDay;
                path = BuildPathAt(t);
                recreate = FRecreate;
                rolled = true;
            }
        }
    }
    if (rolled)
        SetFileName(path, recreate);
    const std::string record = FormatRecord(severity, mode, text);
    if (!record.empty())
        WriteText(record);
}
