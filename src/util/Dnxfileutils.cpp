#include "util/Dnxfileutils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <atomic>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

void AddTrailingBackslash(std::string& path)
{
    if (!path.empty() && path.back() != PathDelimiter)
        path += PathDelimiter;
}

std::string FileErrorReason(int error)
{
    switch (error) {
    case FileErrorNotRegular: return "это не обычный файл";
    case FileErrorTooLarge: return "файл слишком велик";
    case FileErrorNotOwnFolder: return "папка является символической ссылкой или принадлежит другому пользователю";
    case ENOSPC: return "нет места на диске";
#ifdef EDQUOT
    case EDQUOT: return "превышена дисковая квота";
#endif
    case EFBIG: return "превышен допустимый размер файла";
    case EACCES:
    case EPERM: return "нет прав доступа";
    case EROFS: return "диск доступен только для чтения";
    case EIO: return "ошибка ввода-вывода";
    case ENOENT: return "файл или папка не найдены";
    case ENOTDIR: return "часть пути не является папкой";
    case EISDIR: return "это папка, а не файл";
    case ELOOP: return "слишком много символических ссылок";
    case ENAMETOOLONG: return "слишком длинное имя";
    case EEXIST: return "файл уже существует";
    case EMFILE:
    case ENFILE: return "открыто слишком много файлов";
    default: return "системная ошибка " + std::to_string(error) + " (" + std::strerror(error) + ")";
    }
}

#ifndef _WIN32

namespace {

// The name's folder ("." for a bare name) and its last part.
void SplitPath(const std::string& path, std::string& folder, std::string& name)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// A temporary file beside the target, created exclusively, so nothing planted there is written through.
int CreateTemporary(const std::string& folder, const std::string& name, mode_t mode, std::string& temp, int& fd)
{
    static std::atomic<unsigned> counter{0};
    constexpr size_t kNameKept = 200;  // the suffix must not push the name beyond the system's limit
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = folder + "/." + name.substr(0, kNameKept) + "." + std::to_string(getpid()) + "-" +
               std::to_string(counter++) + ".tmp";
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

int WriteAll(int fd, const void* data, size_t size)
{
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, at, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO;
        at += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

void SyncFolder(const std::string& folder)
{
    // The rename is done by now and the file is whole either way; a file system that cannot sync
    // a folder only loses the guarantee across a power cut, which is no reason to report failure.
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

int RegularFileCheck(const struct stat& st, size_t limit)
{
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return FileErrorNotRegular;
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > limit)
        return FileErrorTooLarge;
    return 0;
}

}  // namespace

int SaveFileDurably(const std::string& path, const void* data, size_t size, bool ownerOnly, bool createNew)
{
    std::string target = path;
    bool existing = false;
    mode_t existingMode = 0;
    struct stat st;
    if (!createNew && lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            char* real = realpath(path.c_str(), nullptr);
            if (real == nullptr)
                return errno == ENOENT ? FileErrorNotRegular : errno;  // a dangling link is not ours to follow
            target = real;
            std::free(real);
            if (stat(target.c_str(), &st) != 0)
                return errno;
        }
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (!S_ISREG(st.st_mode))
            return FileErrorNotRegular;
        existing = true;
        existingMode = st.st_mode & 07777;
    } else if (!createNew && errno != ENOENT) {
        return errno;
    }

    std::string folder, name;
    SplitPath(target, folder, name);
    std::string temp;
    int fd = -1;
    if (const int error = CreateTemporary(folder, name, ownerOnly || existing ? 0600 : 0666, temp, fd))
        return error;
    auto fail = [&](int error) {
        if (fd >= 0)
            close(fd);
        unlink(temp.c_str());
        return error;
    };
    if (const int error = WriteAll(fd, data, size))
        return fail(error);
    if (existing && !ownerOnly && fchmod(fd, existingMode) != 0)
        return fail(errno);
    if (fsync(fd) != 0)
        return fail(errno);
    const int closed = close(fd);
    fd = -1;
    if (closed != 0)
        return fail(errno);
    if (createNew) {
        // link() refuses any name that is taken, and the file appears there whole or not at all.
        if (link(temp.c_str(), target.c_str()) != 0)
            return fail(errno);
        unlink(temp.c_str());
    } else if (rename(temp.c_str(), target.c_str()) != 0) {
        return fail(errno);
    }
    SyncFolder(folder);
    return 0;
}

int ReadRegularFile(const std::string& path, size_t limit, std::string& bytes)
{
    bytes.clear();
    // Looked at before it is opened: opening a device may already do something (a serial line
    // raises its control lines).
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return errno;
    if (const int error = RegularFileCheck(st, limit))
        return error;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    // The name may have been swapped since: what counts is what was opened.
    int error = fstat(fd, &st) != 0 ? errno : RegularFileCheck(st, limit);
    std::string read;
    char buffer[64 * 1024];
    while (error == 0) {
        const size_t want = std::min(sizeof buffer, limit + 1 - read.size());
        const ssize_t n = ::read(fd, buffer, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        else if (n == 0)
            break;
        else
            read.append(buffer, static_cast<size_t>(n));
        if (read.size() > limit)
            error = FileErrorTooLarge;  // it grew while being read
    }
    close(fd);
    if (error == 0)
        bytes.swap(read);
    return error;
}

int MakePrivateFolder(const std::string& path)
{
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return errno;
        for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
            if (mkdir(folder.substr(0, slash).c_str(), 0777) != 0 && errno != EEXIST)
                return errno;
        }
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (lstat(folder.c_str(), &st) != 0)
            return errno;
    }
    if (S_ISLNK(st.st_mode))
        return FileErrorNotOwnFolder;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    // Opened without following a link, so the mode changed is this folder's and nothing else's.
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? FileErrorNotOwnFolder : errno;
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = errno;
    else if (st.st_uid != geteuid())
        error = FileErrorNotOwnFolder;
    else if ((st.st_mode & 07777) != 0700 && fchmod(fd, 0700) != 0)
        error = errno;
    close(fd);
    return error;
}

bool OwnWritableFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & S_IWUSR) != 0 && access(path.c_str(), W_OK) == 0;
}

#else  // The Windows side comes with the Windows build.

int SaveFileDurably(const std::string&, const void*, size_t, bool, bool)
{
    return ENOSYS;
}

int ReadRegularFile(const std::string&, size_t, std::string& bytes)
{
    bytes.clear();
    return ENOSYS;
}

int MakePrivateFolder(const std::string&)
{
    return ENOSYS;
}

bool OwnWritableFolder(const std::string&)
{
    return false;
}

#endif
