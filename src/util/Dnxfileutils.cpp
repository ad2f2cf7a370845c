#include "util/Dnxfileutils.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
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
    case FileErrorSymlink: return "это символическая ссылка";
    case FileErrorSharedFolder: return "в папку могут писать другие пользователи";
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

#else

namespace {

// The system's error in the terms FileErrorReason knows.
int FileError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_PRIVILEGE_NOT_HELD: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
#ifdef EDQUOT
    case ERROR_NOT_ENOUGH_QUOTA:
    case ERROR_DISK_QUOTA_EXCEEDED: return EDQUOT;
#endif
    case ERROR_FILE_TOO_LARGE: return EFBIG;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
    default: return EIO;
    }
}

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

struct THandle {
    HANDLE Handle;
    explicit THandle(HANDLE handle) : Handle(handle) {}
    ~THandle()
    {
        if (Handle != INVALID_HANDLE_VALUE)
            CloseHandle(Handle);
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    bool Valid() const { return Handle != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (Valid())
            CloseHandle(Handle);
        Handle = INVALID_HANDLE_VALUE;
    }
};

// A folder, a device or something else that no file of ours may be.
int RegularFileCheck(HANDLE handle, size_t limit)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return GetFileType(handle) == FILE_TYPE_DISK ? LastFileError() : FileErrorNotRegular;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return EISDIR;
    if (GetFileType(handle) != FILE_TYPE_DISK)
        return FileErrorNotRegular;
    const unsigned long long size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return size > limit ? FileErrorTooLarge : 0;
}

// Opened for its kind and name only: neither read nor written, and shared with everyone.
HANDLE OpenToLook(const std::wstring& path)
{
    return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

int WriteAll(HANDLE handle, const void* data, size_t size)
{
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle, at, chunk, &written, nullptr))
            return LastFileError();
        if (written == 0)
            return EIO;
        at += written;
        size -= written;
    }
    return 0;
}

}  // namespace

int LastFileError()
{
    return FileError(GetLastError());
}

std::wstring WidePath(const std::string& path)
{
    if (path.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(std::max(n, 0)), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), &wide[0], n);
    return wide;
}

int SaveFileDurably(const std::string& path, const void* data, size_t size, bool ownerOnly, bool createNew)
{
    // A file in the user's own profile is theirs alone by the folder's rights; there is no mode
    // to set, so ownerOnly asks nothing more here.
    (void)ownerOnly;
    std::wstring target = WidePath(path);
    if (!createNew) {
        THandle existing(OpenToLook(target));
        if (existing.Valid()) {
            if (const int error = RegularFileCheck(existing.Handle, static_cast<size_t>(-1)))
                return error;
            // A link keeps being a link: the file it leads to is the one replaced.
            wchar_t resolved[32768];
            const DWORD n = GetFinalPathNameByHandleW(existing.Handle, resolved, 32768, FILE_NAME_NORMALIZED);
            if (n == 0 || n >= 32768)
                return LastFileError();
            target.assign(resolved, n);
        } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
            return LastFileError();
        } else if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return FileErrorNotRegular;  // a link that leads nowhere is not ours to replace
        }
    }

    size_t cut = target.size();
    while (cut > 0 && !IsSeparator(target[cut - 1]))
        --cut;
    const std::wstring folder = target.substr(0, cut);
    const std::wstring name = target.substr(cut, 200);  // the suffix must not push the name too long
    static std::atomic<unsigned> counter{0};
    std::wstring temp;
    THandle file(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 100 && !file.Valid(); ++attempt) {
        temp = folder + name + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) +
               L".tmp";
        file.Handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (!file.Valid() && GetLastError() != ERROR_FILE_EXISTS)
            return LastFileError();
    }
    if (!file.Valid())
        return EEXIST;
    auto fail = [&](int error) {
        file.Close();
        DeleteFileW(temp.c_str());
        return error;
    };
    if (const int error = WriteAll(file.Handle, data, size))
        return fail(error);
    if (!FlushFileBuffers(file.Handle))
        return fail(LastFileError());
    file.Close();
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Without the replace flag a taken name is refused, and the file appears whole or not at all.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (createNew ? 0 : MOVEFILE_REPLACE_EXISTING);
    if (!MoveFileExW(temp.c_str(), target.c_str(), flags))
        return fail(LastFileError());
    return 0;
}

int ReadRegularFile(const std::string& path, size_t limit, std::string& bytes)
{
    bytes.clear();
    const std::wstring wide = WidePath(path);
    // Looked at before it is opened for reading: opening a device may already do something.
    {
        THandle look(OpenToLook(wide));
        if (!look.Valid())
            return LastFileError();
        if (const int error = RegularFileCheck(look.Handle, limit))
            return error;
    }
    THandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return LastFileError();
    // The name may have been swapped since: what counts is what was opened.
    int error = RegularFileCheck(file.Handle, limit);
    std::string read;
    char buffer[64 * 1024];
    while (error == 0) {
        const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, limit + 1 - read.size()));
        DWORD n = 0;
        if (!ReadFile(file.Handle, buffer, want, &n, nullptr))
            error = LastFileError();
        else if (n == 0)
            break;
        else
            read.append(buffer, n);
        if (read.size() > limit)
            error = FileErrorTooLarge;  // it grew while being read
    }
    if (error == 0)
        bytes.swap(read);
    return error;
}

int MakePrivateFolder(const std::string& path)
{
    std::wstring folder = WidePath(path);
    while (folder.size() > 1 && IsSeparator(folder.back()))
        folder.pop_back();
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND)
            return LastFileError();
        // The parents as any folder; a drive or a share at the start cannot be made and need not be.
        for (size_t i = 1; i < folder.size(); ++i)
            if (IsSeparator(folder[i]))
                CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return LastFileError();
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return LastFileError();
    // A junction or a link could lead anywhere, out of the profile included.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return FileErrorNotOwnFolder;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ENOTDIR;
    return 0;
}

bool OwnWritableFolder(const std::string& path)
{
    std::wstring folder = WidePath(path);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    // The rights on a folder are a list, not a mode; a file made and dropped at once answers.
    if (!folder.empty() && !IsSeparator(folder.back()))
        folder += L'\\';
    const std::wstring probe = folder + L".write-probe-" + std::to_wstring(GetCurrentProcessId());
    THandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.Valid();
}

#endif
