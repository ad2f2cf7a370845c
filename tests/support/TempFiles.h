#pragma once
// A temporary folder that goes away with its contents, whole-file reads and writes, and writes
// that fail as on a full disk.
#include <string>

#include <signal.h>
#include <sys/resource.h>

struct TTempDir {
    std::string Path;  // empty when no folder could be made

    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    std::string operator/(const std::string& name) const { return Path + "/" + name; }
};

// True when anything stands at the path, a dangling link included.
bool Exists(const std::string& path);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// While it lives, this process cannot make a file grow beyond `bytes`: a write past that fails
// (EFBIG, SIGXFSZ ignored), as it does when the disk is full. No privilege is needed.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(rlim_t bytes);
    ~TFileSizeLimit();
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    struct rlimit FOld {};
    struct sigaction FOldAction {};
};
