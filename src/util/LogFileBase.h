#pragma once
#include <mutex>
#include <string>

// Appends text to one file, opening and closing it for every write so that other programs can
// read, move or delete the log between writes. Any thread may write; each write lands whole.
class TLogFileBase {
public:
    // How the next write opens the file.
    static constexpr int OpenAlways = 4;    // open the file, or create it when missing
    static constexpr int CreateAlways = 2;  // create it anew, discarding what it held

    TLogFileBase() = default;
    TLogFileBase(const TLogFileBase&) = delete;
    TLogFileBase& operator=(const TLogFileBase&) = delete;

    // An empty path turns logging off. With recreate set the next successful write starts the
    // file empty; a pending create-anew stays pending until a write gets through.
    void SetFileName(const std::string& path, bool recreate);
    // Appends the bytes as they are. Nothing is reported: a file that cannot be opened,
    // positioned or written loses the text.
    void WriteText(const std::string& text);

    std::string FileName() const;
    int CreationDisposition() const;

protected:
    mutable std::mutex FLock;  // guards the two fields below and every write
    std::string FFileName;
    int FCreationDisposition = OpenAlways;
};
