#include "TempFiles.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <ftw.h>
#include <sys/stat.h>

TTempDir::TTempDir()
{
    char name[] = "/tmp/zem-test-XXXXXX";
    if (mkdtemp(name))
        Path = name;
}

TTempDir::~TTempDir()
{
    if (!Path.empty())
        nftw(Path.c_str(), [](const char* p, const struct stat*, int, FTW*) { return std::remove(p); }, 8,
             FTW_DEPTH | FTW_PHYS);
}

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

TFileSizeLimit::TFileSizeLimit(rlim_t bytes)
{
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &FOldAction);
    getrlimit(RLIMIT_FSIZE, &FOld);
    struct rlimit lowered = FOld;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
}

TFileSizeLimit::~TFileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &FOld);
    sigaction(SIGXFSZ, &FOldAction, nullptr);
}
