#include "util/LogFileBase.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>

#include "util/Dnxfileutils.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Appends the text to the file, emptied first when `truncate`; false when it would not open.
bool AppendToFile(const std::string& path, bool truncate, const std::string& text)
{
#ifdef _WIN32
    const HANDLE handle = CreateFileW(WidePath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    if (!text.empty())
        WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(handle);
    return true;
#else
    int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
    if (truncate)
        flags |= O_TRUNC;
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
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
    return true;
#endif
}

}  // namespace

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
    // The file is now empty if it had to be; later writes append even if this one falls short.
    if (AppendToFile(FFileName, FCreationDisposition == CreateAlways, text))
        FCreationDisposition = OpenAlways;
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
