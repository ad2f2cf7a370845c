#pragma once
#include <QString>

#include <mutex>
#include <optional>
#include <set>

// The serial numbers a series of modules takes, one each, from a counter kept in a small file
// (saved whole, durably). A number is used up only when the module that took it passed: a
// failed module gives its number back and the next module takes it, in this run or a later one.
// Several ports take numbers at once; the counter is shared between their threads.
class TSerialCounter {
public:
    explicit TSerialCounter(QString fileName);

    // Reads the file; a missing file is a counter not begun. False with the message for a file
    // that cannot be read or is not a counter.
    bool Load(QString& error);
    // Numbers from `first` on. The same first number as the file's continues where it stopped,
    // so a series started again with the same command line never repeats a number.
    void StartAt(quint32 first);

    // The lowest number neither used up nor taken; none once the 8 digits run out.
    std::optional<quint32> Take();
    // The module with the number passed: it is used up, and the file saved. False with the
    // message when the file could not be saved (the number stays used up for this run).
    bool Use(quint32 number, QString& error);
    // The module with the number failed: the number is free again.
    void GiveBack(quint32 number);

    // The first number of the series, and the number the next module takes.
    quint32 First() const;
    quint32 Next() const;
    // Where the counter stands: every number from `unused` on is free, and below it `free`.
    void State(quint32& unused, std::set<quint32>& free) const;
    const QString& FileName() const { return FFileName; }

private:
    QString FFileName;
    mutable std::mutex FMutex;
    quint32 FFirst = 1;
    quint32 FNext = 1;           // every number from here on is free
    std::set<quint32> FFree;     // numbers below FNext whose modules failed
    std::set<quint32> FTaken;    // out with a module now
};

// Where the counter is kept unless told otherwise: in the user's data folder.
QString DefaultSerialCounterFile();
