#include "util/LogFileBase.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

void TLogFileBase::SetFileName(const std::string& path, bool recreate)
{
    std::lock_guard<std::mutex> guard(FLock);
    FFileName = path;
    if (recreate)
        FCreationDisposition = CreateAlways;
}

void TLogFileBase::WriteText(const std::string& text)
{
    std::lock_guard<std::mutex> guard(FLock);
    if (FFileName.empty())
        return;
    int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
    if (FCreationDisposition == CreateAlways)
        flags |= O_TRUNC;
    int fd;
    do {
        fd = ::open(FFileName.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return;
    // The file is now empty if it had to be; later writes append even if this one falls short.
    FCreationDisposition = OpenAlways;
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}

std::string TLogFileBase::FileName() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FFileName;
}

int TLogFileBase::CreationDisposition() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FCreationDisposition;
}
