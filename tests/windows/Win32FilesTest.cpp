// The Windows side of the file utilities: the durable save, the bounded read, the private folder
// and the day's log, with names in Cyrillic letters as an installer's user profile may have them.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "ClockedLog.h"
#include "util/Dnxfileutils.h"
#include "util/LogFile.h"

namespace fs = std::filesystem;

namespace {

std::string Utf8(const fs::path& path)
{
    return path.u8string();
}

std::string Content(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(Win32Files, durableSaveBoundedReadAndPrivateFolder)
{
    const fs::path root = fs::temp_directory_path() / fs::u8path("zem-файлы-тест");
    fs::remove_all(root);
    const fs::path folder = root / fs::u8path("Резервные копии");
    ASSERT_EQ(MakePrivateFolder(Utf8(folder)), 0);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(MakePrivateFolder(Utf8(folder)), 0);
    EXPECT_TRUE(OwnWritableFolder(Utf8(folder)));

    // Saved, replaced whole, and nothing left beside it.
    const fs::path file = folder / fs::u8path("Модуль.zem");
    ASSERT_EQ(SaveFileDurably(Utf8(file), "first", 5, true), 0);
    ASSERT_EQ(SaveFileDurably(Utf8(file), "second\0x", 8, false), 0);
    EXPECT_EQ(Content(file), std::string("second\0x", 8));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

    // Refused, and what was there stays: a new-only save over a file, a save over a folder, a
    // save into a folder that does not exist.
    EXPECT_EQ(SaveFileDurably(Utf8(file), "third", 5, false, true), EEXIST);
    EXPECT_EQ(Content(file), std::string("second\0x", 8));
    const fs::path inner = folder / "inner";
    fs::create_directory(inner);
    EXPECT_NE(SaveFileDurably(Utf8(inner), "x", 1, false), 0);
    EXPECT_TRUE(fs::is_directory(inner));
    EXPECT_NE(SaveFileDurably(Utf8(folder / "missing" / "a.cfg"), "x", 1, false), 0);
    EXPECT_FALSE(fs::exists(folder / "missing"));

    std::string bytes;
    EXPECT_EQ(ReadRegularFile(Utf8(file), 8, bytes), 0);
    EXPECT_EQ(bytes, std::string("second\0x", 8));
    EXPECT_EQ(ReadRegularFile(Utf8(file), 7, bytes), FileErrorTooLarge);
    EXPECT_NE(ReadRegularFile(Utf8(inner), 100, bytes), 0);
    EXPECT_EQ(ReadRegularFile(Utf8(folder / "none.cfg"), 100, bytes), ENOENT);
    // A device is no file to read.
    EXPECT_NE(ReadRegularFile("NUL", 100, bytes), 0);

    fs::remove_all(root);
}

// The day's log appended to, and at a new day its own old files pruned and nothing else.
TEST(Win32Files, dailyLog_appendsAndPrunesOnlyItsOwnOldFiles)
{
    const fs::path root = fs::temp_directory_path() / fs::u8path("zem-журнал-тест");
    fs::remove_all(root);
    const fs::path folder = root / fs::u8path("журнал");
    TClockedDailyLog log(Utf8(folder), "zem-", 14);
    EXPECT_TRUE(log.Write("first"));
    EXPECT_TRUE(log.Write("second"));
    EXPECT_EQ(Content(folder / "zem-2024-03-05.log"), "first\nsecond\n");

    std::ofstream(folder / "zem-2024-03-07.log") << "kept";
    std::ofstream(folder / "notes.txt") << "theirs";
    fs::create_directory(folder / "zem-2024-01-02.log");
    log.Time.Day = 20;
    EXPECT_TRUE(log.Write("a new day"));
    EXPECT_EQ(Content(folder / "zem-2024-03-20.log"), "a new day\n");
    EXPECT_FALSE(fs::exists(folder / "zem-2024-03-05.log"));
    EXPECT_EQ(Content(folder / "zem-2024-03-07.log"), "kept");
    EXPECT_EQ(Content(folder / "notes.txt"), "theirs");
    EXPECT_TRUE(fs::is_directory(folder / "zem-2024-01-02.log"));
    EXPECT_EQ(log.OffReason(), "");

    fs::remove_all(root);
}
