#pragma once
#include <QDateTime>
#include <QList>
#include <QString>

#include "module/ModuleCopy.h"

// Copies of what the module held before each write, in "backups" under the user's data folder,
// named by date, time and port; the newest BackupsKept are kept.
constexpr int BackupsKept = 100;

// The folder; tests point it at one of their own by setting it before use.
extern QString BackupsDir;
QString BackupsFolder();

// Saves the copy as a new backup and removes the oldest beyond BackupsKept. False with the
// message when it could not be saved.
bool SaveBackup(const TModuleCopy& copy, const QString& port, QString& error);

struct TBackupEntry {
    QString FileName;  // full path
    QDateTime Saved;
    QString Port;
    QString Parts;     // what it holds, or why it cannot be read
    bool Readable = false;
};

// The backups, newest first.
QList<TBackupEntry> ListBackups();
