#pragma once
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
