// Finding another program on a port, and the lock file the port keeps; the lock folder is a
// temporary one. The tests run as root, for whom the exclusive flag keeps nobody out, so a holder
// must be found by what it has open.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "link/ComPort.h"
#include "link/PortLock.h"
#include "LinkTestKit.h"
#include "TempFiles.h"

namespace {

std::string PidText(int pid)
{
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", pid);
    return text;
}

struct PortLockFixture : ::testing::Test {
    TTempDir Locks;
    int Master = -1;
    std::string Slave;
    std::vector<std::string> SavedFolders = TPortLock::Folders();

    void SetUp() override
    {
        Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_TRUE(Master >= 0 && grantpt(Master) == 0 && unlockpt(Master) == 0);
        Slave = ptsname(Master);
        ASSERT_FALSE(Locks.Path.empty());
        TPortLock::SetFolders({Locks.Path});
    }
    void TearDown() override
    {
        TPortLock::SetFolders(SavedFolders);
        close(Master);
    }
    std::string LockName() const { return "LCK.." + Slave.substr(Slave.rfind('/') + 1); }
    // A process that has the slave open, as a terminal program would; without the master it is
    // a rival, with it the far side of the line.
    bool StartHolder(TChild& child, const char* name, bool keepMaster)
    {
        return child.Start([&] {
            if (!keepMaster)
                close(Master);
            prctl(PR_SET_NAME, name);
            return open(Slave.c_str(), O_RDWR | O_NOCTTY) >= 0;
        });
    }
};

}  // namespace

TEST_F(PortLockFixture, processWithTheDeviceOpen_isFoundWithoutAnyLock_butNotThisOneNorTheFarSide)
{
    TChild holder;
    ASSERT_TRUE(StartHolder(holder, "zem-holder", false));
    TComPort port;
    port.SetPortName(Slave);
    port.Open();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastOpenError(), EBUSY);
    EXPECT_EQ(port.LastHolder().Pid, holder.Pid());
    EXPECT_EQ(port.LastHolder().Name, "zem-holder");
    EXPECT_FALSE(Exists(Locks / LockName()));

    holder.Stop();
    TChild farSide;
    ASSERT_TRUE(StartHolder(farSide, "zem-far-side", true));
    EXPECT_FALSE(FindPortHolder(Slave));
    port.Open();
    ASSERT_TRUE(port.IsOpen()) << port.LastOpenError();
    EXPECT_EQ(port.LastHolder().Pid, 0);
    EXPECT_FALSE(FindPortHolder(Slave));  // our own descriptor
}

TEST_F(PortLockFixture, liveLockFile_refusesThePort_staleOrUnreadableOneIsReplaced)
{
    TChild locker;
    ASSERT_TRUE(locker.Start([] { return prctl(PR_SET_NAME, "zem-locker") == 0; }));
    TTempDir second;
    TPortLock::SetFolders({Locks / "missing", Locks.Path, second.Path});
    int binary = locker.Pid();
    TComPort port;
    port.SetPortName(Slave);
    for (const std::string& content : {PidText(locker.Pid()), std::to_string(locker.Pid()) + "\n",
                                       std::string(reinterpret_cast<char*>(&binary), sizeof binary)}) {
        WriteFile(second / LockName(), content);
        port.Open();
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.LastOpenError(), EBUSY);
        EXPECT_EQ(port.LastHolder().Pid, locker.Pid());
        EXPECT_EQ(port.LastHolder().Name, "zem-locker");
        EXPECT_EQ(ReadFile(second / LockName()), content);
        EXPECT_FALSE(Exists(Locks / LockName()));
    }
    unlink((second / LockName()).c_str());

    const int deadPid = locker.Pid();
    locker.Stop();
    // Also our own PID in a file no port here holds: left by an earlier process with that PID.
    for (const std::string& content : {PidText(deadPid), std::string("garbage\n"), std::string(),
                                       PidText(getpid())}) {
        WriteFile(Locks / LockName(), content);
        port.Open();
        ASSERT_TRUE(port.IsOpen()) << port.LastOpenError();
        EXPECT_EQ(ReadFile(Locks / LockName()), PidText(getpid()));
        port.Close();
        EXPECT_FALSE(Exists(Locks / LockName()));
    }
}

TEST_F(PortLockFixture, ownLockFile_namesUsWhileOpen_andGoesOnEveryWayOut)
{
    TTempDir links;
    ASSERT_EQ(symlink(Slave.c_str(), (links / "port").c_str()), 0);
    const mode_t oldMask = umask(077);
    auto port = std::make_unique<TComPort>();
    port->SetPortName(links / "port");  // named after the device, not the link
    port->Open();
    umask(oldMask);
    ASSERT_TRUE(port->IsOpen());
    struct stat st;
    ASSERT_EQ(lstat((Locks / LockName()).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(ReadFile(Locks / LockName()), PidText(getpid()));

    // A second port here is refused, and the lock it did not make stays.
    TComPort second;
    second.OpenByName(Slave);
    EXPECT_FALSE(second.IsOpen());
    second.Close();
    EXPECT_TRUE(Exists(Locks / LockName()));

    port->Close();
    EXPECT_FALSE(Exists(Locks / LockName()));
    port->Open();
    ASSERT_TRUE(Exists(Locks / LockName()));
    port.reset();
    EXPECT_FALSE(Exists(Locks / LockName()));

    // Made, then the open fails.
    TTempDir files;
    WriteFile(files / "notatty", "");
    TComPort file;
    file.OpenByName(files / "notatty");
    EXPECT_EQ(file.LastOpenError(), ENOTTY);
    EXPECT_FALSE(Exists(Locks / "LCK..notatty"));

    // A program that exits with the port never destroyed.
    TChild child;
    ASSERT_TRUE(child.Start(
        [&] {
            auto* leaked = new TComPort;
            leaked->OpenByName(Slave);
            return leaked->IsOpen();
        },
        [] { std::exit(0); }));
    EXPECT_EQ(ReadFile(Locks / LockName()), PidText(child.Pid()));
    child.Stop();
    EXPECT_FALSE(Exists(Locks / LockName()));
}

// Chosen: such an entry is nobody's lock, so the port opens, without a lock file of its own.
TEST_F(PortLockFixture, linkAtOurLockName_isNeitherFollowedNorRemoved)
{
    TTempDir elsewhere;
    const std::string target = elsewhere / "target";
    ASSERT_EQ(symlink(target.c_str(), (Locks / LockName()).c_str()), 0);
    for (bool targetExists : {false, true}) {
        if (targetExists)
            WriteFile(target, PidText(getppid()));  // a live PID, were the link read
        TComPort port;
        port.OpenByName(Slave);
        EXPECT_TRUE(port.IsOpen()) << port.LastOpenError();
        port.Close();
        EXPECT_EQ(Exists(target), targetExists);
        if (targetExists) {
            EXPECT_EQ(ReadFile(target), PidText(getppid()));
        }
        char linked[256] = {};
        ASSERT_GT(readlink((Locks / LockName()).c_str(), linked, sizeof linked - 1), 0);
        EXPECT_EQ(linked, target);
    }
}

TEST_F(PortLockFixture, lockFolderTheUserCannotWrite_isSkipped)
{
    // Root writes anywhere, so the port is opened by a child running as nobody.
    TTempDir folders;
    const std::string closed = folders / "closed";
    const std::string open = folders / "open";
    ASSERT_EQ(mkdir(closed.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(open.c_str(), 0755), 0);
    for (const auto& [path, mode] : {std::pair{open, 0777}, {folders.Path, 0755}, {Slave, 0666}})
        ASSERT_EQ(chmod(path.c_str(), static_cast<mode_t>(mode)), 0);
    TChild child;
    EXPECT_TRUE(child.Start([&] {
        if (setgid(65534) != 0 || setuid(65534) != 0)
            return false;
        TComPort port;
        TPortLock::SetFolders({closed, open});
        port.OpenByName(Slave);
        const bool locked = port.IsOpen() && !Exists(closed + "/" + LockName()) &&
                            ReadFile(open + "/" + LockName()) == PidText(getpid());
        port.Close();
        TPortLock::SetFolders({closed});  // then there is none to take the file
        port.Open();
        return locked && port.IsOpen();
    }));
    child.Stop();
    EXPECT_FALSE(Exists(open + "/" + LockName()));
}
