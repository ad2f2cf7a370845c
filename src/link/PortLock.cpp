// Serial port ownership on POSIX: open descriptors in /proc and LCK.. files in the lock folders.
#ifndef _WIN32

#include "link/PortLock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Slave ptys have majors 136..143; a master opened through ptmx is 5:2.
constexpr unsigned kPtySlaveFirstMajor = 136;
constexpr unsigned kPtySlaveLastMajor = 143;
constexpr unsigned kPtmxMajor = 5;
constexpr unsigned kPtmxMinor = 2;

// Never destroyed, so that the exit handler and late destructors can still use them.
std::mutex& FoldersMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::vector<std::string>& FolderList()
{
    static auto* folders = new std::vector<std::string>{"/run/lock", "/var/lock"};
    return *folders;
}

struct THeldLocks {
    std::mutex Mutex;
    std::vector<std::string> Paths;
    bool ExitHandlerSet = false;
};

THeldLocks& HeldLocks()
{
    static auto* held = new THeldLocks;
    return *held;
}

bool Alive(int pid)
{
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string ProcessName(int pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/comm", pid);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "";
    char buffer[64];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    close(fd);
    if (n <= 0)
        return "";
    std::string name(buffer, static_cast<size_t>(n));
    while (!name.empty() && IsSpace(name.back()))
        name.pop_back();
    return name;
}

// The PID a lock file names, or 0 when there is none to be read. Text as most programs write
// it, space-padded; a bare native int in the oldest files.
int ReadLockPid(const std::string& path)
{
    // Non-blocking, so that a fifo planted under the name cannot hang the open.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st;
    char buffer[64];
    ssize_t n = -1;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        n = read(fd, buffer, sizeof buffer);
    close(fd);
    if (n <= 0)
        return 0;

    ssize_t i = 0;
    while (i < n && (buffer[i] == ' ' || buffer[i] == '\t'))
        ++i;
    long long pid = 0;
    const ssize_t firstDigit = i;
    while (i < n && IsDigit(buffer[i]) && pid <= INT_MAX)
        pid = pid * 10 + (buffer[i++] - '0');
    if (i > firstDigit && (i == n || IsSpace(buffer[i])))
        return pid > 0 && pid <= INT_MAX ? static_cast<int>(pid) : 0;
    if (n == static_cast<ssize_t>(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, buffer, sizeof binary);
        return binary > 0 ? binary : 0;
    }
    return 0;
}

// The lock file survives a crash; a later run takes it for stale once the PID is dead. Plain exit
// (with the port object never destroyed) should not leave one behind.
void RemoveHeldLocksAtExit()
{
    THeldLocks& held = HeldLocks();
    if (!held.Mutex.try_lock())
        return;  // a thread is in the middle of taking or dropping one: better stale than stuck
    // A forked child that exits must not take its parent's locks with it: the file names the parent.
    for (const std::string& path : held.Paths)
        if (ReadLockPid(path) == getpid())
            unlink(path.c_str());
    held.Paths.clear();
    held.Mutex.unlock();
}

void RememberLock(const std::string& path)
{
    THeldLocks& held = HeldLocks();
    std::lock_guard<std::mutex> guard(held.Mutex);
    if (!held.ExitHandlerSet)
        held.ExitHandlerSet = std::atexit(RemoveHeldLocksAtExit) == 0;
    held.Paths.push_back(path);
}

void ForgetLock(const std::string& path)
{
    THeldLocks& held = HeldLocks();
    std::lock_guard<std::mutex> guard(held.Mutex);
    const auto it = std::find(held.Paths.begin(), held.Paths.end(), path);
    if (it != held.Paths.end())
        held.Paths.erase(it);
}

bool HeldHere(const std::string& path)
{
    THeldLocks& held = HeldLocks();
    std::lock_guard<std::mutex> guard(held.Mutex);
    return std::find(held.Paths.begin(), held.Paths.end(), path) != held.Paths.end();
}

// A lock of another program, or one this program holds through another port object, is live.
// Our PID in a file no port object here holds is a leftover of an earlier process that had it.
bool LiveLock(const std::string& path, int& pid)
{
    pid = ReadLockPid(path);
    if (pid == getpid())
        return HeldHere(path);
    return Alive(pid);
}

int PtyIndex(dev_t rdev)
{
    const unsigned ma = major(rdev);
    if (ma < kPtySlaveFirstMajor || ma > kPtySlaveLastMajor)
        return -1;
    return static_cast<int>((ma - kPtySlaveFirstMajor) * 256 + minor(rdev));
}

// The slave index of a pty master descriptor, from its fdinfo; -1 when not shown.
int MasterIndex(const std::string& fdinfoPath)
{
    const int fd = open(fdinfoPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char buffer[512];
    const ssize_t n = read(fd, buffer, sizeof buffer - 1);
    close(fd);
    if (n <= 0)
        return -1;
    buffer[n] = '\0';
    const char* key = std::strstr(buffer, "tty-index:");
    if (!key)
        return -1;
    return std::atoi(key + std::strlen("tty-index:"));
}

// Whether a process has the device open, leaving out the far side of a pseudo-terminal: the
// program that holds the master (a simulator, socat) keeps the slave open only so the line does
// not hang up, and it is what the port talks to, not a rival for it.
bool ProcessHolds(int procFd, const char* pidText, const struct stat& device, int ptyIndex)
{
    // Relative to open folders: the search makes one call per descriptor of every process.
    const int fdDirFd = openat(procFd, (std::string(pidText) + "/fd").c_str(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fdDirFd < 0)
        return false;  // gone, or not ours to look into
    DIR* dir = fdopendir(fdDirFd);
    if (!dir) {
        close(fdDirFd);
        return false;
    }
    bool holds = false;
    bool farSide = false;
    while (dirent* entry = readdir(dir)) {
        if (!IsDigit(entry->d_name[0]))
            continue;
        struct stat st;
        if (fstatat(fdDirFd, entry->d_name, &st, 0) != 0 || !S_ISCHR(st.st_mode))
            continue;
        // Every devpts instance numbers its slaves from 0, so a pty is told apart by its file
        // system too.
        if (st.st_rdev == device.st_rdev && (ptyIndex < 0 || st.st_dev == device.st_dev))
            holds = true;
        else if (ptyIndex >= 0 && major(st.st_rdev) == kPtmxMajor && minor(st.st_rdev) == kPtmxMinor &&
                 MasterIndex("/proc/" + std::string(pidText) + "/fdinfo/" + entry->d_name) == ptyIndex)
            farSide = true;
    }
    closedir(dir);
    return holds && !farSide;
}

std::optional<TPortHolder> FindProcessHolder(const std::string& device)
{
    struct stat target;
    if (stat(device.c_str(), &target) != 0 || !S_ISCHR(target.st_mode))
        return std::nullopt;
    const int ptyIndex = PtyIndex(target.st_rdev);
    const int self = getpid();
    DIR* proc = opendir("/proc");
    if (!proc)
        return std::nullopt;
    std::optional<TPortHolder> found;
    while (dirent* entry = readdir(proc)) {
        if (!IsDigit(entry->d_name[0]))
            continue;
        const int pid = std::atoi(entry->d_name);
        if (pid == self || !ProcessHolds(dirfd(proc), entry->d_name, target, ptyIndex))
            continue;
        found = TPortHolder{pid, ProcessName(pid)};
        break;
    }
    closedir(proc);
    return found;
}

}  // namespace

void TPortLock::SetFolders(std::vector<std::string> folders)
{
    std::lock_guard<std::mutex> guard(FoldersMutex());
    FolderList() = std::move(folders);
}

std::vector<std::string> TPortLock::Folders()
{
    std::lock_guard<std::mutex> guard(FoldersMutex());
    return FolderList();
}

std::string TPortLock::FileName(const std::string& device)
{
    // Other programs name the lock after the device itself, whatever link led us to it.
    std::string path = device;
    if (char* real = realpath(device.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    const size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return base.empty() ? "" : "LCK.." + base;
}

std::optional<TPortHolder> FindPortHolder(const std::string& device)
{
    if (device.empty())
        return std::nullopt;
    const std::string name = TPortLock::FileName(device);
    for (const std::string& folder : TPortLock::Folders()) {
        int pid = 0;
        if (!name.empty() && LiveLock(folder + "/" + name, pid) && pid != getpid())
            return TPortHolder{pid, ProcessName(pid)};
    }
    return FindProcessHolder(device);
}

bool TPortLock::Acquire(const std::string& device, TPortHolder& holder)
{
    Release();
    const std::string name = FileName(device);
    if (name.empty())
        return true;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));

    for (const std::string& folder : Folders()) {
        struct stat st;
        if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        const std::string path = folder + "/" + name;
        // Two rounds: the second after a stale lock was taken away.
        for (int round = 0; round < 2; ++round) {
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd >= 0) {
                // The umask must not hide the PID from the programs that check it.
                const bool written = fchmod(fd, 0644) == 0 && write(fd, text, static_cast<size_t>(length)) == length;
                if (close(fd) == 0 && written) {
                    FPath = path;
                    RememberLock(path);
                    return true;
                }
                unlink(path.c_str());
                break;
            }
            if (errno != EEXIST)
                break;  // this folder does not take our file; the next may
            struct stat entry;
            if (lstat(path.c_str(), &entry) != 0)
                continue;  // gone meanwhile
            if (!S_ISREG(entry.st_mode))
                break;  // a link or stranger thing is no lock: neither followed nor removed
            int pid = 0;
            if (LiveLock(path, pid)) {
                if (pid == getpid())
                    return true;  // another port object here has it, and its open refuses ours
                holder = TPortHolder{pid, ProcessName(pid)};
                return false;
            }
            if (unlink(path.c_str()) != 0 && errno != ENOENT)
                break;
        }
    }
    return true;
}

void TPortLock::Release()
{
    if (FPath.empty())
        return;
    // Only while it still names us: a forked child's copy of this object holds nothing.
    if (ReadLockPid(FPath) == getpid())
        unlink(FPath.c_str());
    ForgetLock(FPath);
    FPath.clear();
}

#endif
