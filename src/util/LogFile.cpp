#include "util/LogFile.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
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

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
long DayNumber(int year, int month, int day)
{
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long yearOfEra = year - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// "yyyy-mm-dd" read back; false for anything else.
bool ParseDay(const std::string& text, int& year, int& month, int& day)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9')
            return false;
    year = std::stoi(text.substr(0, 4));
    month = std::stoi(text.substr(5, 2));
    day = std::stoi(text.substr(8, 2));
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
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
    return LocalTimeNow();
}

TLogTime LocalTimeNow()
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

TDailyLog::TDailyLog(const std::string& folder, const std::string& prefix, int keepDays)
    : FFolder(folder), FPrefix(prefix), FKeepDays(keepDays)
{
}

void TDailyLog::Write(const std::string& text)
{
    const TLogTime now = Now();
    char day[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", now.Year, now.Month, now.Day);
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (FDay != day) {
            FDay = day;
            if (MakePrivateFolder(FFolder) != 0) {
                FFile.SetFileName(std::string(), false);
                return;
            }
            std::string path = FFolder;
            AddTrailingBackslash(path);
            FFile.SetFileName(path + FPrefix + day + ".log", false);
            Prune(now);
        }
    }
    FFile.WriteText(text + "\n");
}

void TDailyLog::Prune(const TLogTime& today) const
{
    namespace fs = std::filesystem;
    const long last = DayNumber(today.Year, today.Month, today.Day) - FKeepDays;
    std::error_code error;
    for (fs::directory_iterator it(fs::u8path(FFolder), error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().u8string();
        int year, month, day;
        if (name.size() != FPrefix.size() + 14 || name.compare(0, FPrefix.size(), FPrefix) != 0 ||
            name.compare(name.size() - 4, 4, ".log") != 0 ||
            !ParseDay(name.substr(FPrefix.size(), 10), year, month, day) || DayNumber(year, month, day) > last)
            continue;
        std::error_code ignored;
        if (it->symlink_status(ignored).type() == fs::file_type::regular)
            fs::remove(it->path(), ignored);
    }
}
