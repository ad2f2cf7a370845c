#pragma once
#include <QString>

#include <set>

// The counter file the tool's versions before the module catalogue kept their serial numbers in
// (`first`, `next` and the `free` numbers below it, each line a key and its numbers). The
// catalogue takes it in once, so that its series go on; nothing writes it any more.
class TSerialCounter {
public:
    explicit TSerialCounter(QString fileName);

    // Reads the file; a missing file is a counter not begun. False with the message for a file
    // that cannot be read or is not a counter.
    bool Load(QString& error);

    // The first number of the series.
    quint32 First() const { return FFirst; }
    // Where the counter stands: every number from `unused` on is free, and below it `free`.
    void State(quint32& unused, std::set<quint32>& free) const;
    const QString& FileName() const { return FFileName; }

private:
    QString FFileName;
    quint32 FFirst = 1;
    quint32 FNext = 1;        // every number from here on is free
    std::set<quint32> FFree;  // numbers below FNext whose modules failed
};

// Where the counter was kept: in the user's data folder.
QString DefaultSerialCounterFile();
