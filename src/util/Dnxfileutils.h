#pragma once
#include <cstddef>
#include <string>

// The separator between folders in a path on this platform.
#ifdef _WIN32
constexpr char PathDelimiter = '\\';
#else
constexpr char PathDelimiter = '/';
#endif

// Appends the platform's path separator to a non-empty path that does not already end in one
// (the name stays from the tool's Windows origin, where the separator is a backslash).
void AddTrailingBackslash(std::string& path);

// Why a file operation failed: 0 for none, an errno value, or one of these.
constexpr int FileErrorNotRegular = -1;  // a device, a FIFO, a socket, a link to one of them
constexpr int FileErrorTooLarge = -2;    // beyond what the reader takes
constexpr int FileErrorNotOwnFolder = -3;  // a folder that is a symbolic link or someone else's
constexpr int FileErrorSymlink = -4;       // a symbolic link (or reparse point) where a file was to be
constexpr int FileErrorSharedFolder = -5;  // a folder of ours that others may write into

// The reason in Russian (UTF-8), as the installer reads it after "Не удалось …: ".
std::string FileErrorReason(int error);

// Saves the bytes so that the file is either the old one, untouched, or the new one whole, on
// disk: a temporary file beside it (created exclusively), every write checked, synced, then
// renamed over the target and the folder synced. Anything at the path that is not a regular file
// is refused; a symbolic link to a regular file keeps the link and saves to the file it points
// at. ownerOnly: readable and writable by the owner alone from the first byte (an existing file
// is tightened); otherwise an existing file keeps its permissions. With createNew the file is
// only created, never replaced: a name taken by anything, a dangling link included, gives EEXIST.
// On Windows a file has no mode: one in the user's own profile is theirs by the folder's rights.
int SaveFileDurably(const std::string& path, const void* data, size_t size, bool ownerOnly, bool createNew = false);

// Reads a regular file of at most `limit` bytes whole. Special files are refused without being
// opened for long (a FIFO cannot block, a link to /dev/zero is not read), a larger file is
// FileErrorTooLarge. A missing file is ENOENT.
int ReadRegularFile(const std::string& path, size_t limit, std::string& bytes);

// Makes sure the folder is this user's alone: created 0700 when missing (its parents as any
// folder), an existing one of ours tightened to 0700. A symbolic link, something not a folder or
// a folder of another user is refused and left as it is. On Windows, where the folder lies in the
// user's own profile, it is created and a junction or link is refused.
int MakePrivateFolder(const std::string& path);

// True when the folder is owned by the user running the program and writable by them (on
// Windows: a folder, no junction or link, that takes a new file).
bool OwnWritableFolder(const std::string& path);

#ifdef _WIN32
// A UTF-8 path as the system's wide-character calls take it.
std::wstring WidePath(const std::string& path);
// The calling thread's last system error in the terms FileErrorReason knows.
int LastFileError();
#endif
