#pragma once
// Whether another program holds a serial device, and the lock file this program keeps on one.
#include <optional>
#include <string>
#include <vector>

// Another program that has a port. Name is empty where the process's name cannot be read, and
// Pid is 0 where not even the process can be seen.
struct TPortHolder {
    int Pid = 0;
    std::string Name;
};

// Another process that holds the device: one with a descriptor open on the same character
// device, or a lock file naming a live process. This process does not count, nor the program
// on the far side of a pseudo-terminal (it holds the master as well).
std::optional<TPortHolder> FindPortHolder(const std::string& device);

// This program's lock file on one device, in the customary form that other serial programs
// honour. The file is removed by Release, the destructor and, for a lock still held then, at
// exit.
class TPortLock {
public:
    TPortLock() = default;
    ~TPortLock() { Release(); }
    TPortLock(const TPortLock&) = delete;
    TPortLock& operator=(const TPortLock&) = delete;

    // Folders searched for other programs' lock files; ours goes in the first that exists and
    // takes it. By default /run/lock, then /var/lock.
    static void SetFolders(std::vector<std::string> folders);
    static std::vector<std::string> Folders();
    // "LCK.." and the name of the device the path leads to.
    static std::string FileName(const std::string& device);

    // False when another program's live lock is in the way; holder then tells whose. Where no
    // folder takes a lock file the port goes without one, and that is true.
    bool Acquire(const std::string& device, TPortHolder& holder);
    void Release();
    // The lock file while it is held, else empty.
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};
