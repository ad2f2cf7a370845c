#include "util/LogFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "util/Dnxfileutils.h"
#include "util/Signals.h"

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

namespace {

// A trailing separator would have the folder's last name followed even where a link is not to be.
std::string WithoutTrailingSeparators(std::string path)
{
    while (path.size() > 1 && (path.back() == '/' || path.back() == PathDelimiter))
        path.pop_back();
    return path;
}

// "<prefix>yyyy-mm-dd.log" of a day up to `last` (a day number).
bool OldLogName(const std::string& name, const std::string& prefix, long last)
{
    int year, month, day;
    return name.size() == prefix.size() + 14 && name.compare(0, prefix.size(), prefix) == 0 &&
           name.compare(name.size() - 4, 4, ".log") == 0 &&
           ParseDay(name.substr(prefix.size(), 10), year, month, day) && DayNumber(year, month, day) <= last;
}

// The log's folder, held open for one write, so that what is written and removed is inside the
// folder that was checked even if its name is taken over meanwhile.
class TLogFolder {
public:
    TLogFolder() = default;
    TLogFolder(const TLogFolder&) = delete;
    TLogFolder& operator=(const TLogFolder&) = delete;
    ~TLogFolder();

    // The folder itself, not a link, and ours alone.
    int Open(const std::string& path);
    // Appends to the regular file of that name, created owner-only when missing.
    int Append(const std::string& name, const std::string& text);
    // Removes the regular files of our name pattern older than `last`.
    void Prune(const std::string& prefix, long last);

private:
#ifdef _WIN32
    HANDLE FHandle = INVALID_HANDLE_VALUE;
    std::wstring FPath;  // ends in the separator once opened
#else
    int FFd = -1;
#endif
};

#ifdef _WIN32

TLogFolder::~TLogFolder()
{
    if (FHandle != INVALID_HANDLE_VALUE)
        CloseHandle(FHandle);
}

int TLogFolder::Open(const std::string& path)
{
    if (FHandle != INVALID_HANDLE_VALUE)
        CloseHandle(FHandle);
    FPath = WidePath(path);
    // Without delete sharing the folder cannot be renamed or replaced while it is held.
    FHandle = CreateFileW(FPath.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (FHandle == INVALID_HANDLE_VALUE)
        return LastFileError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(FHandle, &info))
        return LastFileError();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return FileErrorNotOwnFolder;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return ENOTDIR;
    FPath += L'\\';
    return 0;
}

int TLogFolder::Append(const std::string& name, const std::string& text)
{
    // A link is opened as itself, never followed, and then refused.
    const HANDLE file =
        CreateFileW((FPath + WidePath(name)).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return LastFileError();
    int error = 0;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK)
        error = FileErrorNotRegular;
    else if (!GetFileInformationByHandle(file, &info))
        error = LastFileError();
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        error = FileErrorSymlink;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        error = EISDIR;
    const char* at = text.data();
    size_t left = text.size();
    while (error == 0 && left > 0) {
        DWORD written = 0;
        if (!WriteFile(file, at, static_cast<DWORD>(std::min<size_t>(left, 1u << 30)), &written, nullptr))
            error = LastFileError();
        else if (written == 0)
            error = EIO;
        at += written;
        left -= written;
    }
    CloseHandle(file);
    return error;
}

void TLogFolder::Prune(const std::string& prefix, long last)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((FPath + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        char name[MAX_PATH * 4];
        const int n = WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, name, sizeof name, nullptr, nullptr);
        if (n > 0 && OldLogName(name, prefix, last))
            DeleteFileW((FPath + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

#else

TLogFolder::~TLogFolder()
{
    if (FFd >= 0)
        ::close(FFd);
}

int TLogFolder::Open(const std::string& path)
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info;
    if (FFd < 0) {
        // A link is ELOOP or, the link itself being no folder, ENOTDIR.
        const int error = errno;
        return (error == ELOOP || error == ENOTDIR) && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)
                   ? FileErrorNotOwnFolder
                   : error;
    }
    if (::fstat(FFd, &info) != 0)
        return errno;
    if (info.st_uid != ::geteuid())
        return FileErrorNotOwnFolder;
    // Whoever may write into the folder may put a link or a FIFO in the place of the next file.
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return FileErrorSharedFolder;
    return 0;
}

int TLogFolder::Append(const std::string& name, const std::string& text)
{
    // Looked at before it is opened: opening a device may already do something.
    struct stat info;
    if (::fstatat(FFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode))
        return S_ISLNK(info.st_mode) ? FileErrorSymlink : FileErrorNotRegular;
    int fd;
    do {
        fd = ::openat(FFd, name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                      0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ELOOP)
            return FileErrorSymlink;
        return errno == ENXIO ? FileErrorNotRegular : errno;  // ENXIO: a FIFO that nobody reads
    }
    // The name may have been swapped since it was looked at: what counts is what was opened.
    int error = ::fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : FileErrorNotRegular;
    const char* at = text.data();
    size_t left = text.size();
    while (error == 0 && left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        else if (n == 0)
            error = EIO;
        else {
            at += n;
            left -= static_cast<size_t>(n);
        }
    }
    ::close(fd);
    return error;
}

void TLogFolder::Prune(const std::string& prefix, long last)
{
    const int listed = ::dup(FFd);  // the listing owns and closes its own descriptor
    DIR* entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (entries == nullptr) {
        if (listed >= 0)
            ::close(listed);
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        struct stat info;
        // unlinkat never follows a link, so a name swapped after the look removes nothing elsewhere.
        if (OldLogName(entry->d_name, prefix, last) &&
            ::fstatat(FFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            ::unlinkat(FFd, entry->d_name, 0);
    }
    ::closedir(entries);
}

#endif

}  // namespace

TDailyLog::TDailyLog(const std::string& folder, const std::string& prefix, int keepDays)
    : FFolder(WithoutTrailingSeparators(folder)), FPrefix(prefix), FKeepDays(keepDays)
{
    // The program ignores it from its start; a log made elsewhere (a test, a bench) must not die
    // either of a write past the file size limit, which only turns the log off.
    IgnoreFileSizeSignal();
}

bool TDailyLog::Write(const std::string& text)
{
    const TLogTime now = Now();
    char day[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", now.Year, now.Month, now.Day);
    std::lock_guard<std::mutex> guard(FLock);
    if (!FOffReason.empty())
        return false;
    // The folder is made and tightened at a day's first write, and made again if it has gone; in
    // between it is only checked, so that a change behind our back turns the log off.
    const bool newDay = FDay != day;
    int error = newDay ? MakePrivateFolder(FFolder) : 0;
    TLogFolder folder;
    if (error == 0)
        error = folder.Open(FFolder);
    if (error == ENOENT && !newDay && (error = MakePrivateFolder(FFolder)) == 0)
        error = folder.Open(FFolder);
    if (error != 0)
        return TurnOff(FFolder, error);
    if (newDay) {
        FDay = day;
        folder.Prune(FPrefix, DayNumber(now.Year, now.Month, now.Day) - FKeepDays);
    }
    const std::string name = FPrefix + day + ".log";
    if ((error = folder.Append(name, text + "\n")) != 0) {
        std::string path = FFolder;
        AddTrailingBackslash(path);
        return TurnOff(path + name, error);
    }
    return true;
}

std::string TDailyLog::OffReason() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FOffReason;
}

bool TDailyLog::TurnOff(const std::string& path, int error)
{
    FOffReason = "Журнал на диске отключён: " + path + " — " + FileErrorReason(error);
    return false;
}
