#pragma once
// A temporary folder that goes away with its contents, and whole-file reads and writes.
#include <string>

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
