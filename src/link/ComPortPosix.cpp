// Serial port over a POSIX terminal device.
#ifndef _WIN32

#include "link/ComPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace {

using TClock = std::chrono::steady_clock;

// Keeps deadline arithmetic clear of overflow; a timeout this long is as good as none.
constexpr uint64_t kLongestWaitMs = 1ull << 32;

const char* const kReadFailed = "Failed to read from port.";
const char* const kWriteFailed = "Failed to write to port.";

struct TSpeed {
    int Rate;
    speed_t Code;
};

const TSpeed kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B921600
    {921600, B921600},
#endif
};

bool SpeedCode(int rate, speed_t& code)
{
    for (const TSpeed& s : kSpeeds)
        if (s.Rate == rate) {
            code = s.Code;
            return true;
        }
    return false;
}

// Errors that mean the device is gone (an adapter pulled, the far end of a pty closed).
bool DeviceLost(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

// Milliseconds for poll() until the deadline, rounded up so that a wake-up is never early.
int PollMs(TClock::time_point deadline)
{
    const auto left = deadline - TClock::now();
    if (left <= TClock::duration::zero())
        return 0;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
    return static_cast<int>(std::min<long long>((us + 999) / 1000, INT_MAX));
}

// A bound beyond which a read or write that still waits is taken for a hung line.
struct TCriticalBound {
    bool Set;
    TClock::time_point At;
    uint32_t Ms;
    const char* What;  // "Read" or "Write"
};

// Waits until the handle is ready for `events` (POLLIN or POLLOUT): true then, false once
// `deadline` has passed (time_point::max() for none). Raises past the critical bound, and when
// the line reports a hang-up or an error instead; queued input still counts as ready.
bool WaitReady(int handle, short events, TClock::time_point deadline, const TCriticalBound& critical,
               const char* failed)
{
    for (;;) {
        const auto now = TClock::now();
        if (now >= deadline)
            return false;
        if (critical.Set && now >= critical.At)
            throw TComPortException(std::string(critical.What) + " expired FCritical" + critical.What +
                                        "FileTime (" + std::to_string(critical.Ms) + "), maybe hang up.",
                                    ETIMEDOUT);
        const auto until = critical.Set ? std::min(deadline, critical.At) : deadline;
        pollfd pfd{handle, events, 0};
        const int r = poll(&pfd, 1, until == TClock::time_point::max() ? -1 : PollMs(until));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            throw TComPortException(failed, errno);
        if (r == 0)
            continue;  // the deadline is checked above
        if (pfd.revents & events)
            return true;
        throw TComPortException(failed, EIO);
    }
}

std::string ReadFirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string LinkTargetName(const std::string& path)
{
    char buffer[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return "";
    std::string target(buffer, static_cast<size_t>(n));
    const size_t slash = target.rfind('/');
    return slash == std::string::npos ? target : target.substr(slash + 1);
}

// The path with its links, "." and ".." resolved. A device not there yet (an adapter still to be
// plugged in) resolves as far as its path exists, the rest kept in normal form.
std::string ResolvedPortPath(const std::string& name)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(name, error);
    if (error)
        return name;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal().string() : resolved.string();
}

#ifdef __linux__
// A USB adapter holds what it receives for up to its latency timer (16 ms on FTDI's) before
// passing it on, and every reply would wait that long. A pty or a driver without the setting
// refuses it, which is fine.
void AskLowLatency(int handle)
{
    serial_struct serial{};
    if (ioctl(handle, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY) != 0)
        return;
    serial.flags |= ASYNC_LOW_LATENCY;
    (void)ioctl(handle, TIOCSSERIAL, &serial);
}
#endif

}  // namespace

bool SamePortDevice(const std::string& a, const std::string& b)
{
    struct stat first;
    struct stat second;
    if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0) {
        // Device nodes made apart (mknod, a container's /dev) share only the device number.
        const bool devices = (S_ISCHR(first.st_mode) && S_ISCHR(second.st_mode)) ||
                             (S_ISBLK(first.st_mode) && S_ISBLK(second.st_mode));
        if (devices ? first.st_rdev == second.st_rdev
                    : first.st_dev == second.st_dev && first.st_ino == second.st_ino)
            return true;
    }
    return ResolvedPortPath(a) == ResolvedPortPath(b);
}

TComPort::TComPort() : FHandle(-1) {}

TComPort::~TComPort()
{
    Close();
}

void TComPort::EnumPorts(std::vector<std::string>& list)
{
    list.clear();
#ifdef __linux__
    // Every tty with a device behind it is hardware (ptys and consoles have none). The legacy
    // 8250 driver registers its fixed ports whether or not a chip answers there; those report
    // the port type 0 ("unknown") and are not listed.
    const std::string classDir = "/sys/class/tty/";
    DIR* dir = opendir(classDir.c_str());
    if (!dir)
        return;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        const std::string base = classDir + name;
        struct stat st;
        if (lstat((base + "/device").c_str(), &st) != 0)
            continue;
        const std::string type = ReadFirstLine(base + "/type");
        const std::string driver = LinkTargetName(base + "/device/driver");
        if (type == "0" || (driver == "serial8250" && type.empty()))
            continue;
        const std::string path = "/dev/" + name;
        if (stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode))
            list.push_back(path);
    }
    closedir(dir);
#else
    // Elsewhere the callout devices are the serial ports.
    DIR* dir = opendir("/dev");
    if (!dir)
        return;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind("cu.", 0) == 0)
            list.push_back("/dev/" + name);
    }
    closedir(dir);
#endif
    std::sort(list.begin(), list.end(), PortNameBefore);
}

bool TComPort::IsOpen() const
{
    return FHandle >= 0;
}

void TComPort::Open()
{
    if (IsOpen())
        return;
    FLastOpenError = 0;
    FLastHolder = TPortHolder();
    // Root passes the exclusive flag and many programs take no lock, so other holders are looked
    // for first; one that made only a lock file may not have the device open yet.
    struct stat st;
    if (!FPortName.empty() && stat(FPortName.c_str(), &st) == 0) {
        if (const auto holder = FindPortHolder(FPortName)) {
            FLastHolder = *holder;
            FLastOpenError = EBUSY;
            return;
        }
        if (!FLock.Acquire(FPortName, FLastHolder)) {
            FLastOpenError = EBUSY;
            return;
        }
    }
    const int fd = ::open(FPortName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        FLastOpenError = errno;
        FLock.Release();
        return;
    }
    // TIOCEXCL keeps other users out, but root ignores it; the lock keeps out every program
    // that asks for it, root or not.
    int error = 0;
    if (!isatty(fd))
        error = ENOTTY;
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno;
    else if (ioctl(fd, TIOCEXCL) != 0)
        error = errno;
    if (error != 0) {
        FLock.Release();
        ::close(fd);
        FLastOpenError = error;
        return;
    }
#ifdef __linux__
    AskLowLatency(fd);
#endif
    TakeHandle(fd);
}

void TComPort::Close()
{
    // The lock goes before the descriptor: closing the last descriptor of a device that has
    // vanished frees its name for the next device at once (a new pseudo-terminal, an adapter
    // plugged in), and a lock file still naming this live process would refuse that device to
    // its user. Nothing is sent once the lock is gone.
    FLock.Release();
    if (IsOpen()) {
        // The exclusive flag outlives this descriptor when another one keeps the tty open.
        ioctl(FHandle, TIOCNXCL);
        ::close(FHandle);
        FHandle = -1;
    }
}

void TComPort::ApplySettings()
{
    if (!IsOpen())
        return;
    const char* const failed = "Failed to set port parameters.";
    termios tio{};
    if (tcgetattr(FHandle, &tio) != 0)
        throw TComPortException(failed, errno);
    speed_t speed;
    if (!SpeedCode(FBaudRate, speed))
        throw TComPortException(failed, EINVAL);

    cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | ISTRIP | IGNPAR);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    tio.c_cflag &= ~CMSPAR;
#endif
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= CREAD | CLOCAL | kSizes[FByteSize & 3];
    switch (FParity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
#ifdef CMSPAR
    case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
#endif
    default: break;
    }
    if (FStopBits != 0)
        tio.c_cflag |= CSTOPB;
    // One byte satisfies a read; with O_NONBLOCK an empty line gives EAGAIN, so a read that
    // returns 0 can only mean a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(FHandle, TCSANOW, &tio) != 0)
        throw TComPortException(failed, errno);

    // Pseudo-terminals have no modem lines; that is no reason to refuse them.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(FHandle, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        throw TComPortException(failed, errno);
}

// A terminal keeps no timeouts of its own: Read and Write follow FTimeouts directly, so there is
// nothing to load and nothing to hand over, and the record carries across opens.
void TComPort::LoadTimeouts() {}
void TComPort::ApplyTimeouts() {}

bool TComPort::Write(const void* buffer, int count)
{
    if (!IsOpen())
        throw TComPortException(kClosedPortText, kErrorClosedPort);
    if (count <= 0)
        return count == 0;

    const auto start = TClock::now();
    uint64_t total = static_cast<uint64_t>(FTimeouts.WriteTotalTimeoutMultiplier) * count +
                           FTimeouts.WriteTotalTimeoutConstant;
    const bool bounded = total != 0;
    total = std::min<uint64_t>(total, kLongestWaitMs);
    const auto totalDeadline = start + std::chrono::milliseconds(total);
    const TCriticalBound critical{FCriticalWriteFileTime != kComInfinite,
                                  start + std::chrono::milliseconds(FCriticalWriteFileTime),
                                  FCriticalWriteFileTime, "Write"};

    const auto* bytes = static_cast<const uint8_t*>(buffer);
    int sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(FHandle, bytes + sent, static_cast<size_t>(count - sent));
        if (n > 0) {
            sent += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (DeviceLost(errno))
                throw TComPortException(kWriteFailed, errno);
            return false;
        }
        // The output queue is full: wait for room, within the bounds.
        if (!WaitReady(FHandle, POLLOUT, bounded ? totalDeadline : TClock::time_point::max(), critical,
                       kWriteFailed))
            return false;
    }
    return true;
}

int TComPort::Read(void* buffer, int count)
{
    if (!IsOpen() || count <= 0)
        return 0;

    const TCommTimeouts& t = FTimeouts;
    // The driver model's special cases: return what is there at once, or wait for the first
    // byte only. Anything else is a total bound (multiplier * count + constant, none when both
    // are 0) with an optional gap bound between bytes.
    const bool atOnce = t.ReadIntervalTimeout == kComInfinite && t.ReadTotalTimeoutMultiplier == 0 &&
                        t.ReadTotalTimeoutConstant == 0;
    const bool firstByte = t.ReadIntervalTimeout == kComInfinite &&
                           t.ReadTotalTimeoutMultiplier == kComInfinite &&
                           t.ReadTotalTimeoutConstant != 0 &&
                           t.ReadTotalTimeoutConstant != kComInfinite;
    uint64_t total = firstByte ? t.ReadTotalTimeoutConstant
                               : static_cast<uint64_t>(t.ReadTotalTimeoutMultiplier) * count +
                                     t.ReadTotalTimeoutConstant;
    total = std::min<uint64_t>(total, kLongestWaitMs);
    const bool totalBounded = total != 0;
    const bool gapBounded = !firstByte && t.ReadIntervalTimeout != 0;

    const auto start = TClock::now();
    const auto totalDeadline = start + std::chrono::milliseconds(total);
    const TCriticalBound critical{FCriticalReadFileTime != kComInfinite,
                                  start + std::chrono::milliseconds(FCriticalReadFileTime),
                                  FCriticalReadFileTime, "Read"};
    auto lastByte = start;

    auto* bytes = static_cast<uint8_t*>(buffer);
    int got = 0;
    for (;;) {
        const ssize_t n = ::read(FHandle, bytes + got, static_cast<size_t>(count - got));
        if (n > 0) {
            got += static_cast<int>(n);
            lastByte = TClock::now();
            if (got == count || firstByte)
                return got;
            continue;
        }
        if (n == 0)  // readable yet empty: the line was hung up
            throw TComPortException(kReadFailed, EIO);
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            throw TComPortException(kReadFailed, errno);
        if (atOnce)
            return got;

        // Nothing more to read yet: wait for input until the nearest bound. A hang-up with data
        // still queued delivers that data first.
        auto deadline = totalBounded ? totalDeadline : TClock::time_point::max();
        if (gapBounded && got > 0)
            deadline = std::min(deadline, lastByte + std::chrono::milliseconds(t.ReadIntervalTimeout));
        if (!WaitReady(FHandle, POLLIN, deadline, critical, kReadFailed))
            return got;
    }
}

uint32_t TComPort::ClearErrors(TComStat& stat)
{
    if (!IsOpen())
        return 0;
    int in = 0;
    int out = 0;
    if (ioctl(FHandle, FIONREAD, &in) != 0 || ioctl(FHandle, TIOCOUTQ, &out) != 0)
        throw TComPortException("Failed to get port state.", errno);
    stat.Flags = 0;
    stat.cbInQue = static_cast<uint32_t>(in);
    stat.cbOutQue = static_cast<uint32_t>(out);
    return 0;
}

bool TComPort::PurgeInput()
{
    return IsOpen() && tcflush(FHandle, TCIFLUSH) == 0;
}

#endif
