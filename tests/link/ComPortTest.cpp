// The serial port and the channel over a bare pseudo-terminal: this test plays the far end.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <climits>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include "link/ComPort.h"
#include "link/UniversalCom.h"
#include "LinkTestKit.h"
#include "TempFiles.h"

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct TRawPty {
    int Master = -1;
    std::string Slave;

    TRawPty()
    {
        Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (Master >= 0 && grantpt(Master) == 0 && unlockpt(Master) == 0)
            Slave = ptsname(Master);
    }
    ~TRawPty() { CloseMaster(); }
    void CloseMaster()
    {
        if (Master >= 0)
            close(Master);
        Master = -1;
    }
    void Send(const std::vector<uint8_t>& bytes) const
    {
        ASSERT_EQ(write(Master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Up to count bytes, as they come.
    std::vector<uint8_t> Take(size_t count) const
    {
        std::vector<uint8_t> out;
        while (out.size() < count && WaitFor([&] { return PendingInput(Master) > 0; })) {
            uint8_t buf[256];
            const ssize_t n = read(Master, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0)
                break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
};

long long MsSince(TClock::time_point start)
{
    return std::chrono::duration_cast<milliseconds>(TClock::now() - start).count();
}

pid_t ThisThread()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

std::atomic<int> gSignals{0};
extern "C" void CountSignal(int)
{
    ++gSignals;
}

struct ChannelFixture : ::testing::Test {
    TRawPty Pty;
    TUniversalCom Com{new TComPort};
    TComPort& Port = *Com.GetComPort();

    // Until count bytes wait in the port's input queue.
    bool WaitInput(uint32_t count)
    {
        return WaitFor([&] {
            TComStat stat;
            Port.ClearErrors(stat);
            return stat.cbInQue == count;
        });
    }

    void SetUp() override
    {
        ASSERT_FALSE(Pty.Slave.empty());
        Com.SetName(Pty.Slave);
        Com.SetSpeed(115200);
        Com.Open();
        ASSERT_TRUE(Com.IsOpen()) << "errno " << Port.LastOpenError();
    }
};

}  // namespace

TEST_F(ChannelFixture, openedLine_isRaw115200EightNoneOneWithoutFlowControl)
{
    // Read through the master: a second open of the slave is refused to anyone but root while
    // the port holds it exclusively, and the master reports the slave's settings.
    termios tio{};
    ASSERT_EQ(tcgetattr(Pty.Master, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_EQ(cfgetispeed(&tio), B115200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(Com.GetName(), Pty.Slave);

    // A new speed applies at once while open; an unknown one is refused and the port stays open.
    Port.SetBaudRate(9600);
    ASSERT_EQ(tcgetattr(Pty.Master, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    try {
        Port.SetBaudRate(12345);
        FAIL();
    } catch (const TComPortException& e) {
        EXPECT_EQ(e.Message, "Failed to set port parameters.");
        EXPECT_EQ(e.Code, EINVAL);
    }
    EXPECT_TRUE(Port.IsOpen());
    EXPECT_EQ(Port.GetBaudRate(), 9600);
}

TEST_F(ChannelFixture, read_returnsAtOnceWithArrivedBytesOrZeroAfterTimeout)
{
    Com.SetTimeout(150);
    EXPECT_EQ(Port.Timeouts().ReadTotalTimeoutConstant, 150u);
    EXPECT_EQ(Port.Timeouts().ReadIntervalTimeout, kComInfinite);
    EXPECT_EQ(Port.Timeouts().ReadTotalTimeoutMultiplier, kComInfinite);

    Pty.Send({1, 2, 3});
    ASSERT_TRUE(WaitInput(3));
    uint8_t buf[16];
    EXPECT_EQ(Com.Read(buf, 10), 3);
    EXPECT_EQ(buf[2], 3);

    // Never more than asked; the rest waits for the next read.
    Pty.Send({4, 5, 6, 7});
    ASSERT_TRUE(WaitInput(4));
    EXPECT_EQ(Com.Read(buf, 2), 2);
    EXPECT_EQ(Com.Read(buf, 10), 2);
    EXPECT_EQ(buf[1], 7);

    const auto start = TClock::now();
    EXPECT_EQ(Com.Read(buf, 10), 0);
    EXPECT_GE(MsSince(start), 149);

    // A byte that comes during the wait ends it; one ignored would leave the read empty-handed.
    Com.SetTimeout(10000);
    const pid_t reader = ThisThread();
    std::thread late([&] {
        WaitFor([&] { return ThreadAsleep(reader); });
        Pty.Send({9});
    });
    EXPECT_EQ(Com.Read(buf, 10), 1);
    late.join();

    // Bytes go out unchanged (no output processing).
    EXPECT_TRUE(Com.Write("\n\r\x55\x11\x13", 5));
    EXPECT_EQ(Pty.Take(5), (std::vector<uint8_t>{'\n', '\r', 0x55, 0x11, 0x13}));
}

TEST_F(ChannelFixture, interruptedRead_isResumedNotTakenForTimeout)
{
    struct sigaction sa {};
    struct sigaction old {};
    sa.sa_handler = CountSignal;  // no SA_RESTART: poll and read see EINTR
    sigaction(SIGUSR1, &sa, &old);
    gSignals = 0;
    Com.SetTimeout(10000);
    const pthread_t reader = pthread_self();
    const pid_t readerThread = ThisThread();
    // Each signal lands while the read waits; the byte comes only after the last.
    std::thread interrupter([&] {
        for (int i = 1; i <= 5; ++i) {
            WaitFor([&] { return ThreadAsleep(readerThread); });
            pthread_kill(reader, SIGUSR1);
            WaitFor([&] { return gSignals == i; });
        }
        WaitFor([&] { return ThreadAsleep(readerThread); });
        Pty.Send({0x42});
    });
    uint8_t buf[4];
    EXPECT_EQ(Com.Read(buf, 4), 1);
    EXPECT_EQ(buf[0], 0x42);
    interrupter.join();
    EXPECT_EQ(gSignals, 5);
    sigaction(SIGUSR1, &old, nullptr);
}

TEST_F(ChannelFixture, purge_discardsUnreadInputAndReportsItsCount)
{
    Pty.Send({1, 2, 3, 4, 5});
    ASSERT_TRUE(WaitInput(5));
    TComStat stat;
    EXPECT_EQ(Port.ClearErrors(stat), 0u);
    Com.Purge();
    Port.ClearErrors(stat);
    EXPECT_EQ(stat.cbInQue, 0u);
    Com.SetTimeout(30);
    uint8_t buf[8];
    EXPECT_EQ(Com.Read(buf, 8), 0);
}

TEST_F(ChannelFixture, vanishedDevice_raisesOnReadWriteAndPurgeWithoutHanging)
{
    Com.SetTimeout(10000);
    const pid_t reader = ThisThread();
    std::thread pull([&] {
        WaitFor([&] { return ThreadAsleep(reader); });
        Pty.CloseMaster();
    });
    uint8_t buf[8];
    EXPECT_THROW(Com.Read(buf, 8), TComPortException);
    pull.join();
    // Every further call raises rather than waiting out its timeout.
    for (int i = 0; i < 3; ++i)
        EXPECT_THROW(Com.Read(buf, 8), TComPortException);
    EXPECT_THROW(Com.Write(buf, 8), TComPortException);
    EXPECT_THROW(Com.Purge(), TComPortException);
    EXPECT_TRUE(Com.IsOpen());
    Com.Close();
    EXPECT_FALSE(Com.IsOpen());
}

TEST_F(ChannelFixture, channelOpen_reopensUnderTheCurrentName)
{
    TRawPty other;
    Com.SetName(other.Slave);
    Com.Open();
    ASSERT_TRUE(Com.IsOpen());
    EXPECT_EQ(Com.GetName(), other.Slave);
    EXPECT_TRUE(Com.Write("\x01", 1));
    EXPECT_EQ(other.Take(1), std::vector<uint8_t>{1});
    // The first line was released: another user can have it now.
    TComPort first;
    first.SetPortName(Pty.Slave);
    first.Open();
    EXPECT_TRUE(first.IsOpen());
}

TEST(ComPort, closedPort_refusesWritesAndReadsNothing)
{
    TComPort port;
    EXPECT_FALSE(port.IsOpen());
    try {
        port.Write("x", 1);
        FAIL();
    } catch (const TComPortException& e) {
        EXPECT_EQ(e.Message, "Can't write to closed port.");
        EXPECT_EQ(e.Code, 6);
    }
    uint8_t buf[4];
    EXPECT_EQ(port.Read(buf, 4), 0);
    TComStat stat;
    stat.cbInQue = 77;
    EXPECT_EQ(port.ClearErrors(stat), 0u);
    EXPECT_EQ(stat.cbInQue, 77u);
    EXPECT_FALSE(port.PurgeInput());
    // Speed and timeouts set while closed are kept for the next open.
    port.SetBaudRate(115200);
    EXPECT_EQ(port.GetBaudRate(), 115200);
    TUniversalCom com(new TComPort);
    com.Purge();
    EXPECT_TRUE(com.SetTimeout(100));
}

TEST(ComPort, failedOpen_raisesNothingAndKeepsTheReason)
{
    TComPort port;
    port.SetPortName("/dev/does-not-exist-zem");
    EXPECT_NO_THROW(port.Open());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastOpenError(), ENOENT);

    port.SetPortName("");
    port.Open();
    EXPECT_FALSE(port.IsOpen());

    char file[] = "/tmp/zem-notatty-XXXXXX";
    const int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    close(fd);
    port.SetPortName(file);
    port.Open();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastOpenError(), ENOTTY);
    unlink(file);
}

TEST(ComPort, portHeldElsewhere_doesNotOpenUntilReleased)
{
    TRawPty pty;
    ASSERT_FALSE(pty.Slave.empty());

    // Another process holds it the way a terminal program would.
    TChild holder;
    ASSERT_TRUE(holder.Start([&] {
        const int fd = open(pty.Slave.c_str(), O_RDWR | O_NOCTTY);
        return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    }));

    TComPort port;
    port.SetPortName(pty.Slave);
    port.Open();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.LastOpenError() == EWOULDBLOCK || port.LastOpenError() == EBUSY)
        << port.LastOpenError();

    holder.Stop();
    port.Open();
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.LastOpenError(), 0);

    // And while this program holds it, a second opener here is refused too.
    TComPort second;
    second.OpenByName(pty.Slave);
    EXPECT_FALSE(second.IsOpen());
    // Refused by the lock, or for anyone but root already by the exclusive flag.
    EXPECT_TRUE(second.LastOpenError() == EWOULDBLOCK || second.LastOpenError() == EBUSY)
        << second.LastOpenError();
}

TEST(ComPort, enumPorts_listsDevicePathsInCountingOrder_andNoPseudoTerminal)
{
    TRawPty pty;  // present while the ports are listed, so listing it would show
    ASSERT_FALSE(pty.Slave.empty());
    std::vector<std::string> list{"stale entry"};
    TComPort::EnumPorts(list);
    EXPECT_TRUE(std::is_sorted(list.begin(), list.end(), PortNameBefore));
    for (const std::string& name : list) {
        EXPECT_EQ(name.rfind("/dev/", 0), 0u) << name;
        EXPECT_EQ(name.find("/dev/pts/"), std::string::npos) << name;
        EXPECT_EQ(access(name.c_str(), F_OK), 0) << name;
    }
}

TEST(ComPort, portNames_orderByTheirNumbersNotTheirDigits)
{
    std::vector<std::string> names{"/dev/ttyUSB10", "/dev/ttyS1",   "/dev/ttyUSB2", "/dev/ttyS10",
                                   "/dev/ttyACM0",  "/dev/ttyUSB1", "/dev/ttyS2",   "/dev/ttyS0"};
    std::sort(names.begin(), names.end(), PortNameBefore);
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2",
                                               "/dev/ttyS10", "/dev/ttyUSB1", "/dev/ttyUSB2",
                                               "/dev/ttyUSB10"}));
    // A strict order even where only leading zeros or a missing tail tell names apart.
    EXPECT_TRUE(PortNameBefore("/dev/ttyS", "/dev/ttyS0"));
    EXPECT_FALSE(PortNameBefore("/dev/ttyS0", "/dev/ttyS"));
    EXPECT_NE(PortNameBefore("/dev/ttyS01", "/dev/ttyS1"), PortNameBefore("/dev/ttyS1", "/dev/ttyS01"));
    EXPECT_FALSE(PortNameBefore("/dev/ttyS1", "/dev/ttyS1"));
    EXPECT_TRUE(PortNameBefore("/dev/ttyS9", "/dev/ttyS010"));
}

TEST(ComPort, samePortDevice_knowsOneDeviceUnderEveryName)
{
    TRawPty pty;
    TRawPty other;
    TTempDir dir;
    ASSERT_FALSE(pty.Slave.empty() || other.Slave.empty() || dir.Path.empty());
    ASSERT_EQ(symlink(pty.Slave.c_str(), (dir / "tty1").c_str()), 0);
    const std::string number = pty.Slave.substr(pty.Slave.rfind('/') + 1);
    const std::string dirName = dir.Path.substr(dir.Path.rfind('/') + 1);
    // A node of its own for the same device, as a container's /dev has; only root makes one.
    struct stat st;
    ASSERT_EQ(stat(pty.Slave.c_str(), &st), 0);
    const bool node = mknod((dir / "node").c_str(), S_IFCHR | 0600, st.st_rdev) == 0;
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.Path.c_str()), 0);

    const struct {
        std::string A;
        std::string B;
        bool Same;
    } cases[] = {
        {"tty1", pty.Slave, true},
        {"./tty1", "tty1", true},
        {dir / "tty1", "../" + dirName + "/./tty1", true},
        {pty.Slave, "/dev/pts/../pts/" + number, true},
        {"tty1", other.Slave, false},
        {pty.Slave, other.Slave, false},
        // Not plugged in yet: the same place is still one port.
        {"ttyUSB9", "./ttyUSB9", true},
        {"ttyUSB9", dir / "ttyUSB9", true},
        {"ttyUSB9", "ttyUSB8", false},
        {"by-id/usb-0403", "./by-id/../by-id/usb-0403", true},
        {"by-id/usb-0403", "tty1", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SamePortDevice(c.A, c.B), c.Same) << c.A << " / " << c.B;
        EXPECT_EQ(SamePortDevice(c.B, c.A), c.Same) << c.B << " / " << c.A;
    }
    if (node) {
        EXPECT_TRUE(SamePortDevice("node", pty.Slave));
        EXPECT_FALSE(SamePortDevice("node", other.Slave));
    }
    ASSERT_EQ(chdir(cwd), 0);
}
