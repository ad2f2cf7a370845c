#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "TempFiles.h"
#include "util/Dnxfileutils.h"

namespace {

int Save(const std::string& path, const std::string& bytes, bool ownerOnly = false, bool createNew = false)
{
    return SaveFileDurably(path, bytes.data(), bytes.size(), ownerOnly, createNew);
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

mode_t Mode(const std::string& path, bool follow = true)
{
    struct stat st {};
    (follow ? stat : lstat)(path.c_str(), &st);
    return st.st_mode;
}

const std::string kOld = "old content that must survive";
const std::string kNew(4096, 'n');

}  // namespace

TEST(DurableSave, failingWriteOrMissingFolder_leavesTheOldFileAsItWasAndNoTemporaryBehind)
{
    TTempDir dir;
    const std::string file = dir / "ZEM.cfg";
    WriteFile(file, kOld);
    {
        // The first write is cut short at the limit, the next one refused: the loop must see both.
        TFileSizeLimit full(100);
        EXPECT_EQ(Save(file, kNew), EFBIG);
        EXPECT_EQ(Save(file, kNew, true), EFBIG);
        EXPECT_EQ(Save(dir / "new.zem", kNew, true, true), EFBIG);
    }
    EXPECT_EQ(ReadFile(file), kOld);
    EXPECT_EQ(Names(dir.Path), std::vector<std::string>{"ZEM.cfg"});
    EXPECT_EQ(Save(dir / "missing/ZEM.cfg", kNew), ENOENT);
    EXPECT_EQ(FileErrorReason(ENOSPC), "нет места на диске");
    EXPECT_EQ(FileErrorReason(EFBIG), "превышен допустимый размер файла");

    ASSERT_EQ(Save(file, kNew), 0);
    EXPECT_EQ(ReadFile(file), kNew);
    EXPECT_EQ(Names(dir.Path), std::vector<std::string>{"ZEM.cfg"});
}

TEST(DurableSave, anythingButARegularFile_isRefusedAndLeftAsItWas_aLinkToAFileKeepsTheLink)
{
    TTempDir dir;
    const std::string fifo = dir / "fifo", folder = dir / "folder", device = dir / "null", dangling = dir / "dangling";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(symlink("/dev/null", device.c_str()), 0);
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), dangling.c_str()), 0);
    const struct {
        std::string Path;
        int Error;
        mode_t Type;
    } refused[] = {
        {fifo, FileErrorNotRegular, S_IFIFO},
        {folder, EISDIR, S_IFDIR},
        {device, FileErrorNotRegular, S_IFLNK},
        {dangling, FileErrorNotRegular, S_IFLNK},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(Save(c.Path, kNew), c.Error) << c.Path;
        EXPECT_EQ(Mode(c.Path, false) & S_IFMT, c.Type) << c.Path;
    }
    EXPECT_FALSE(Exists(dir / "nowhere"));
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    EXPECT_TRUE(S_ISCHR(null.st_mode));

    const std::string real = dir / "real.cfg", link = dir / "link.cfg";
    WriteFile(real, kOld);
    ASSERT_EQ(symlink("real.cfg", link.c_str()), 0);
    ASSERT_EQ(Save(link, kNew), 0);
    EXPECT_TRUE(S_ISLNK(Mode(link, false)));
    EXPECT_EQ(ReadFile(real), kNew);
}

TEST(DurableSave, permissions_ownerOnlyFromTheStartAndTightened_otherwiseAsTheFileHadThem)
{
    TTempDir dir;
    const std::string secret = dir / "secret", loose = dir / "loose", kept = dir / "kept";
    ASSERT_EQ(Save(secret, kNew, true), 0);
    EXPECT_EQ(Mode(secret) & 07777, 0600u);
    WriteFile(loose, kOld);
    chmod(loose.c_str(), 0644);
    ASSERT_EQ(Save(loose, kNew, true), 0);
    EXPECT_EQ(Mode(loose) & 07777, 0600u);
    WriteFile(kept, kOld);
    chmod(kept.c_str(), 0640);
    ASSERT_EQ(Save(kept, kNew), 0);
    EXPECT_EQ(Mode(kept) & 07777, 0640u);
}

TEST(DurableSave, createNew_neverTakesANameInUse_danglingLinkIncluded)
{
    TTempDir dir;
    const std::string taken = dir / "taken.zem", planted = dir / "planted.zem", free = dir / "free.zem";
    WriteFile(taken, kOld);
    ASSERT_EQ(symlink((dir / "elsewhere").c_str(), planted.c_str()), 0);
    EXPECT_EQ(Save(taken, kNew, true, true), EEXIST);
    EXPECT_EQ(Save(planted, kNew, true, true), EEXIST);
    EXPECT_EQ(ReadFile(taken), kOld);
    EXPECT_FALSE(Exists(dir / "elsewhere"));
    ASSERT_EQ(Save(free, kNew, true, true), 0);
    EXPECT_EQ(ReadFile(free), kNew);
    EXPECT_EQ(Names(dir.Path).size(), 3u);
}

TEST(BoundedRead, onlyARegularFileWithinTheLimit_isRead)
{
    TTempDir dir;
    const std::string fifo = dir / "fifo", zero = dir / "zero", folder = dir / "folder";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    WriteFile(dir / "exact", std::string(1024, 'x'));
    WriteFile(dir / "over", std::string(1025, 'x'));
    const struct {
        std::string Path;
        int Error;
    } cases[] = {
        {fifo, FileErrorNotRegular}, {zero, FileErrorNotRegular}, {folder, EISDIR},
        {dir / "over", FileErrorTooLarge}, {dir / "missing", ENOENT}, {dir / "exact", 0},
    };
    for (const auto& c : cases) {
        std::string bytes = "stale";
        EXPECT_EQ(ReadRegularFile(c.Path, 1024, bytes), c.Error) << c.Path;
        EXPECT_EQ(bytes.size(), c.Error == 0 ? 1024u : 0u) << c.Path;
    }
}

TEST(PrivateFolder, createdOrTightenedWhenOurs_aLinkOrAForeignFolderRefusedUntouched)
{
    TTempDir dir;
    const std::string made = dir / "data/ZEM 2.0/backups";
    ASSERT_EQ(MakePrivateFolder(made), 0);
    EXPECT_EQ(Mode(made) & 07777, 0700u);

    const std::string loose = dir / "loose";
    ASSERT_EQ(mkdir(loose.c_str(), 0755), 0);
    chmod(loose.c_str(), 0755);
    ASSERT_EQ(MakePrivateFolder(loose), 0);
    EXPECT_EQ(Mode(loose) & 07777, 0700u);

    const std::string shared = dir / "shared", link = dir / "link";
    ASSERT_EQ(mkdir(shared.c_str(), 0755), 0);
    chmod(shared.c_str(), 0755);
    ASSERT_EQ(symlink(shared.c_str(), link.c_str()), 0);
    EXPECT_EQ(MakePrivateFolder(link), FileErrorNotOwnFolder);
    EXPECT_EQ(Mode(shared) & 07777, 0755u);
    WriteFile(dir / "file", kOld);
    EXPECT_EQ(MakePrivateFolder(dir / "file"), ENOTDIR);

    EXPECT_TRUE(OwnWritableFolder(dir.Path));
    chmod(shared.c_str(), 0555);
    EXPECT_FALSE(OwnWritableFolder(shared));  // read-only, even for root
    // Someone else's folder needs root to make.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(loose.c_str(), 65534, 65534), 0);
        chmod(loose.c_str(), 0777);
        EXPECT_EQ(MakePrivateFolder(loose), FileErrorNotOwnFolder);
        EXPECT_EQ(Mode(loose) & 07777, 0777u);
        EXPECT_FALSE(OwnWritableFolder(loose));
    }
}
