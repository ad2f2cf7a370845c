#pragma once
#include <QDateTime>
#include <QList>
#include <QString>

#include "module/ModuleCopy.h"

// Copies of what the module held before each write, in "backups" under the user's data folder,
// named by date, time and port; the newest BackupsKept are kept.
constexpr int BackupsKept = 100;

// The folder; tests point it at one of their own before use (empty: the default again).
QString BackupsFolder();
void SetBackupsFolder(const QString& folder);

// Saves the copy as a new backup and removes the oldest beyond BackupsKept. False with the
// message when it could not be saved.
bool SaveBackup(const TModuleCopy& copy, const QString& port, QString& error);

// A module's copy taken before a series of modules is set up, named by the serial number it had
// ("SN00001234_<date>_<time>_<port>"); an erased number names it "SNnone". Each is a different
// module's only copy, so these are never pruned (nor listed among the dated ones).
bool SaveSerialBackup(const TModuleCopy& copy, const QString& port, const QString& serial, QString& error);

struct TBackupEntry {
    QString FileName;  // full path
    QDateTime Saved;
    QString Port;
    QString Parts;     // what it holds, or why it cannot be read
    bool Readable = false;
};

// The backups, newest first.
QList<TBackupEntry> ListBackups();
