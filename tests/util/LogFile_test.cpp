#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "ClockedLog.h"
#include "TempFiles.h"
#include "util/Dnxfileutils.h"
#include "util/LogFile.h"
#include "util/LogObject.h"

namespace {

// A log whose clock the test sets.
class TClockedLog : public TLogFile {
public:
    TLogTime Time{2024, 3, 5, 3, 9, 5, 3, 7};  // Tuesday 2024-03-05, 09:05:03.007
    void SetDate(int year, int month, int day, int weekDay)
    {
        Time.Year = year;
        Time.Month = month;
        Time.Day = day;
        Time.WeekDay = weekDay;
    }

protected:
    TLogTime Now() const override { return Time; }
};

}  // namespace

TEST(LogFile, timeStampedWarning_writesLetterStampAndTextIntoTheDayFolder)
{
    TTempDir dir;
    TClockedLog log;
    log.Open(dir.Path, "Device.log", false);  // no trailing separator: one is added
    log.Write(TLogFile::Warning, TLogFile::StampTime, "abc");
    EXPECT_EQ(ReadFile(dir.Path + "/2024.03.05/Device.log"), "\nW 09:05:03.007 abc");
}

TEST(LogFile, recordsOfEveryMode_indentFurtherLinesUnderTheFirstLinesText)
{
    TClockedLog log;
    EXPECT_EQ(log.FormatRecord(TLogFile::Error, TLogFile::StampTime, "one\r\ntwo\rthree\nfour"),
              "\nE 09:05:03.007 one\nE              two\nE              three"
              "\nE              four");
    EXPECT_EQ(log.FormatRecord(TLogFile::Info, 2, "x\ny"), "\nI   x\nI   y");
    EXPECT_EQ(log.FormatRecord(TLogFile::Debug, 0, "x"), "\nD x");
    EXPECT_EQ(log.FormatRecord(TLogFile::Notice, TLogFile::Blank, "x\ny"),
              "\nN              x\nN              y");
    EXPECT_EQ(log.FormatRecord(TLogFile::Fatal, TLogFile::Continue, "x\ny"),
              "x\nF              y");
    // A line break at the end starts no empty further line; an empty line inside is kept.
    EXPECT_EQ(log.FormatRecord(TLogFile::Info, 1, "a\n\nb\n"), "\nI  a\nI  \nI  b");
    EXPECT_EQ(log.FormatRecord(TLogFile::Warning, 0, "x"), "\nW x");
    EXPECT_EQ(log.FormatRecord(6, 0, "x"), "\n? x");
    EXPECT_EQ(log.FormatRecord(-1, 0, "x"), "\n? x");
}

TEST(LogFile, continuationAndEmptyText_extendTheLastLineAndWriteNothing)
{
    TTempDir dir;
    TClockedLog log;
    log.Open(dir.Path + "/", "a.log", false);
    log.Write(TLogFile::Info, 0, "start");
    log.Write(TLogFile::Info, TLogFile::Continue, " ... done");
    log.Write(TLogFile::Info, TLogFile::StampTime, "");
    log.Write(TLogFile::Info, TLogFile::Continue, "");
    EXPECT_EQ(ReadFile(dir.Path + "/2024.03.05/a.log"), "\nI start ... done");
}

TEST(LogFile, openWithRecreate_emptiesTheOldFileAtTheFirstWriteOnly)
{
    TTempDir dir;
    ::mkdir((dir.Path + "/2024.03.05").c_str(), 0755);
    const std::string path = dir.Path + "/2024.03.05/a.log";
    WriteFile(path, "old content");

    TClockedLog keep;
    keep.Open(dir.Path, "a.log", false);
    keep.Write(0, 0, "kept");
    EXPECT_EQ(ReadFile(path), "old content\nD kept");

    TClockedLog fresh;
    fresh.Open(dir.Path, "a.log", true);
    EXPECT_EQ(ReadFile(path), "old content\nD kept");  // nothing happens before a write
    fresh.Write(0, 0, "first");
    fresh.Write(0, 0, "second");
    EXPECT_EQ(ReadFile(path), "\nD first\nD second");
}

TEST(LogFile, pendingRecreate_survivesAFileThatWouldNotOpen)
{
    TTempDir dir;
    TLogFileBase base;
    base.SetFileName(dir.Path + "/missing/a.log", true);
    base.WriteText("lost");
    EXPECT_EQ(base.CreationDisposition(), TLogFileBase::CreateAlways);

    const std::string path = dir.Path + "/a.log";
    WriteFile(path, "old");
    base.SetFileName(path, false);  // the create-anew asked for earlier is still owed
    base.WriteText("new");
    base.WriteText("+more");
    EXPECT_EQ(ReadFile(path), "new+more");
    EXPECT_EQ(base.CreationDisposition(), TLogFileBase::OpenAlways);
}

TEST(LogFile, newDayOfTheWeek_movesToANewFolderButSevenDaysLaterStaysInTheOld)
{
    TTempDir dir;
    TClockedLog log;
    log.Open(dir.Path, "a.log", true);
    log.Write(1, 0, "tuesday");

    log.SetDate(2024, 3, 6, 4);
    log.Write(1, 0, "wednesday");
    EXPECT_EQ(ReadFile(dir.Path + "/2024.03.05/a.log"), "\nI tuesday");
    EXPECT_EQ(ReadFile(dir.Path + "/2024.03.06/a.log"), "\nI wednesday");

    log.SetDate(2024, 3, 13, 4);
    log.Write(1, 0, "a week later");
    EXPECT_FALSE(Exists(dir.Path + "/2024.03.13"));
    EXPECT_EQ(ReadFile(dir.Path + "/2024.03.06/a.log"), "\nI wednesday\nI a week later");
}

TEST(LogFile, newDayWithRecreate_startsThatDaysExistingFileEmpty)
{
    TTempDir dir;
    ::mkdir((dir.Path + "/2024.03.06").c_str(), 0755);
    WriteFile(dir.Path + "/2024.03.06/a.log", "from an earlier run");
    TClockedLog log;
    log.Open(dir.Path, "a.log", true);
    log.Write(1, 0, "tuesday");
    log.SetDate(2024, 3, 6, 4);
    log.Write(1, 0, "wednesday");
    log.Write(1, 0, "again");
    EXPECT_EQ(ReadFile(dir.Path + "/2024.03.06/a.log"), "\nI wednesday\nI again");
}

TEST(LogFile, logNeverOpenedOrUnreachable_writesNoFileAndDoesNotFail)
{
    TTempDir dir;
    TClockedLog closed;
    closed.Write(4, TLogFile::StampTime, "nowhere");
    EXPECT_EQ(closed.FileName(), "");

    // Only one directory level is created: a missing parent loses the records quietly.
    TClockedLog deep;
    deep.Open(dir.Path + "/no/such/dir", "a.log", false);
    deep.Write(4, 0, "lost");
    EXPECT_FALSE(Exists(dir.Path + "/no"));
}

TEST(LogFile, writersOnSeveralThreads_neverInterleaveInsideARecord)
{
    TTempDir dir;
    TClockedLog log;
    log.Open(dir.Path, "a.log", false);
    const int kThreads = 4;
    const int kRecords = 200;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&log, t] {
            const std::string body(100, static_cast<char>('a' + t));
            for (int i = 0; i < kRecords; ++i)
                log.Write(1, 0, body + "\n" + body);
        });
    }
    for (std::thread& w : writers)
        w.join();

    std::istringstream lines(ReadFile(dir.Path + "/2024.03.05/a.log"));
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "");
    int count = 0;
    char previous = 0;
    while (std::getline(lines, line)) {
        ASSERT_EQ(line.size(), 102u);
        const char c = line[2];
        EXPECT_EQ(line, "I " + std::string(100, c));
        if (count % 2 == 1) {
            EXPECT_EQ(c, previous) << "a record was split by another writer";
        }
        previous = c;
        ++count;
    }
    EXPECT_EQ(count, kThreads * kRecords * 2);
}

namespace {

class TLoggingDevice : public TLogObject {
public:
    void Note(const std::string& text) { FLog->Write(TLogFile::Info, 0, text); }
};

}  // namespace

TEST(LogObject, objectLog_isOffUntilOpenedThenWritesWhereItWasPointed)
{
    TTempDir dir;
    TLoggingDevice device;
    device.Note("before");  // no file name yet: nothing to write to

    const std::string direct = dir.Path + "/direct.log";
    device.SetLogFileName(direct, false);
    device.Note("direct");
    EXPECT_EQ(ReadFile(direct), "\nI direct");

    device.OpenLog(dir.Path, "dev.log", false);
    device.Note("dated");
    int files = 0;
    DIR* folders = ::opendir(dir.Path.c_str());
    ASSERT_NE(folders, nullptr);
    while (const dirent* entry = ::readdir(folders)) {
        const std::string day = dir.Path + "/" + entry->d_name + "/dev.log";
        if (entry->d_name[0] != '.' && Exists(day)) {
            ++files;
            EXPECT_EQ(ReadFile(day), "\nI dated");
        }
    }
    ::closedir(folders);
    EXPECT_EQ(files, 1);
}

// One file a day; the first write of a day removes our files older than the days kept, counting
// across a month's end, and nothing else in the folder: not a file of another name, not a folder
// or a link named like ours.
TEST(DailyLog, oneFileADay_keepsTheLastDaysAndRemovesOnlyItsOwnOlderFiles)
{
    TTempDir dir;
    const std::string folder = dir / "logs";
    TClockedDailyLog log(folder, "zem-", 14);
    log.Write("first");
    log.Write("second");
    EXPECT_EQ(ReadFile(folder + "/zem-2024-03-05.log"), "first\nsecond\n");
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((folder + "/zem-2024-03-05.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // A folder removed while the tool runs is made again.
    std::remove((folder + "/zem-2024-03-05.log").c_str());
    ASSERT_EQ(::rmdir(folder.c_str()), 0);
    EXPECT_TRUE(log.Write("third"));
    EXPECT_EQ(ReadFile(folder + "/zem-2024-03-05.log"), "third\n");
    EXPECT_EQ(log.OffReason(), "");

    struct TEntry {
        std::string Name;
        bool Kept;
    } entries[] = {
        {"zem-2024-03-20.log", true},   // today, once the clock moves on
        {"zem-2024-03-07.log", true},   // 13 days before it
        {"zem-2024-03-06.log", false},  // 14 days before it
        {"zem-2024-02-28.log", false},
        {"zem-2023-12-31.log", false},
        {"zem-2024-03-05.log.bak", true},
        {"other-2024-01-01.log", true},
        {"zem-2024-13-01.log", true},   // not a date
        {"notes.txt", true},
    };
    for (const TEntry& entry : entries)
        WriteFile(folder + "/" + entry.Name, "x");
    ASSERT_EQ(::mkdir((folder + "/zem-2024-01-02.log").c_str(), 0700), 0);
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (folder + "/zem-2024-01-03.log").c_str()), 0);
    WriteFile(dir / "elsewhere", "theirs");

    log.Time.Day = 20;
    log.Write("a new day");
    EXPECT_EQ(ReadFile(folder + "/zem-2024-03-20.log"), "x" "a new day\n");
    for (const TEntry& entry : entries)
        EXPECT_EQ(Exists(folder + "/" + entry.Name), entry.Kept) << entry.Name;
    EXPECT_TRUE(Exists(folder + "/zem-2024-01-02.log"));
    EXPECT_TRUE(Exists(folder + "/zem-2024-01-03.log"));
    EXPECT_EQ(ReadFile(dir / "elsewhere"), "theirs");
}

namespace {

// The write runs on a thread of its own so that one stuck in open() fails the test instead of
// hanging it; the wait is only a guard. A reader opened on the FIFO then lets the writer go.
bool GuardedWrite(TDailyLog& log, const std::string& text, const std::string& fifo)
{
    std::future<bool> written = std::async(std::launch::async, [&] { return log.Write(text); });
    if (written.wait_for(std::chrono::seconds(60)) == std::future_status::ready)
        return written.get();
    ADD_FAILURE() << "the write did not return";
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    const bool result = written.get();  // the reader stays open until then: no SIGPIPE
    if (reader >= 0)
        ::close(reader);
    return result;
}

}  // namespace

// Something planted where the log writes, before the first write or between two: the write comes
// back, the log is off for the run with the cause, and nothing lands in the link's target or in
// the other folder.
TEST(DailyLog, plantedFifoLinkDeviceOrForeignFolder_turnsTheLogOffAndWritesNothingElsewhere)
{
    struct TCase {
        const char* Name;
        // Where the first write's record is after the plant, or null when planted before it.
        const char* FirstRecord;
        // Plants it; false when this machine does not allow it (the case is then skipped).
        std::function<bool(const std::string& folder, const std::string& file, const std::string& dir)> Plant;
        bool AtFile;  // the cause is the day's file, not the folder
        int Error;
    } cases[] = {
        {"FIFO as the day's file", nullptr,
         [](auto& folder, auto& file, auto&) {
             return ::mkdir(folder.c_str(), 0700) == 0 && ::mkfifo(file.c_str(), 0600) == 0;
         },
         true, FileErrorNotRegular},
        {"link to a file elsewhere", nullptr,
         [](auto& folder, auto& file, auto& dir) {
             return ::mkdir(folder.c_str(), 0700) == 0 && ::symlink((dir + "/target").c_str(), file.c_str()) == 0;
         },
         true, FileErrorSymlink},
        {"link in place of the day's file after the first write", "moved.log",
         [](auto&, auto& file, auto& dir) {
             return ::rename(file.c_str(), (dir + "/moved.log").c_str()) == 0 &&
                    ::symlink((dir + "/target").c_str(), file.c_str()) == 0;
         },
         true, FileErrorSymlink},
        {"device as the day's file", nullptr,
         [](auto& folder, auto& file, auto&) {
             return ::mkdir(folder.c_str(), 0700) == 0 && ::mknod(file.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
         },
         true, FileErrorNotRegular},
        {"folder is a link to another", nullptr,
         [](auto& folder, auto&, auto& dir) { return ::symlink((dir + "/other").c_str(), folder.c_str()) == 0; },
         false, FileErrorNotOwnFolder},
        {"folder swapped for a link after the first write", "moved/zem-2024-03-05.log",
         [](auto& folder, auto&, auto& dir) {
             return ::rename(folder.c_str(), (dir + "/moved").c_str()) == 0 &&
                    ::symlink((dir + "/other").c_str(), folder.c_str()) == 0;
         },
         false, FileErrorNotOwnFolder},
        {"folder made writable by others after the first write", "logs/zem-2024-03-05.log",
         [](auto& folder, auto&, auto&) { return ::chmod(folder.c_str(), 0777) == 0; }, false, FileErrorSharedFolder},
        {"folder given to another user after the first write", "logs/zem-2024-03-05.log",
         [](auto& folder, auto&, auto&) { return ::chown(folder.c_str(), 4242, 4242) == 0; }, false,
         FileErrorNotOwnFolder},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const std::string folder = dir / "logs";
        const std::string file = folder + "/zem-2024-03-05.log";
        WriteFile(dir / "target", "theirs");
        ASSERT_EQ(::mkdir((dir / "other").c_str(), 0700), 0);
        // Named with a trailing separator, which must not have a link followed.
        TClockedDailyLog log(folder + "/", "zem-", 14);
        if (!c.FirstRecord && !c.Plant(folder, file, dir.Path))
            continue;
        EXPECT_EQ(GuardedWrite(log, "first", file), c.FirstRecord != nullptr);
        if (c.FirstRecord && !c.Plant(folder, file, dir.Path))
            continue;
        EXPECT_FALSE(GuardedWrite(log, "second", file));
        EXPECT_EQ(log.OffReason(), "Журнал на диске отключён: " + (c.AtFile ? file : folder) + " — " +
                                       FileErrorReason(c.Error));

        // Off for the run, even once the plant is gone.
        const std::string reason = log.OffReason();
        struct stat planted {};
        if (::lstat(file.c_str(), &planted) == 0 && !S_ISREG(planted.st_mode))
            ::unlink(file.c_str());
        EXPECT_FALSE(GuardedWrite(log, "third", file));
        EXPECT_EQ(log.OffReason(), reason);
        EXPECT_EQ(ReadFile(dir / "target"), "theirs");
        EXPECT_FALSE(Exists(dir / "other/zem-2024-03-05.log"));
        if (c.FirstRecord) {
            EXPECT_EQ(ReadFile(dir / c.FirstRecord), "first\n");
        }
    }
}

// A write past the file size limit: no SIGXFSZ kills the tool, the log only turns off.
TEST(DailyLog, writePastTheFileSizeLimit_turnsTheLogOffInsteadOfKillingTheTool)
{
    std::signal(SIGXFSZ, SIG_DFL);
    TTempDir dir;
    TClockedDailyLog log(dir / "logs", "zem-", 14);
    ASSERT_TRUE(log.Write("first"));
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit lowered = old;
    lowered.rlim_cur = 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    const bool written = log.Write("a record too long for the limit");
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(written);
    EXPECT_EQ(log.OffReason(), "Журнал на диске отключён: " + dir.Path + "/logs/zem-2024-03-05.log — " +
                                   FileErrorReason(EFBIG));
}
