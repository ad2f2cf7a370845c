#pragma once
// What the catalogue records and answers with.
#include <QDateTime>
#include <QString>

#include "module/ModuleCopy.h"

// What a version records the module's copy after.
enum class TVersionKind { Read, Backup, Write, Line };

// The columns of a version beside the copy.
struct TVersionInfo {
    TVersionKind Kind = TVersionKind::Read;
    QString Port;         // as the operator named it
    QString Adapter;      // the USB adapter's serial number, when the system knows it
    bool Passed = true;   // how the operation ended
    QString Result;       // why it failed (or how a line's module ended); empty when it passed
    qint64 Run = 0;       // the production-line run it belongs to; 0: none
    quint32 SerialBefore = 0;  // a line's module: the number it had before (0: none or erased)
    // The module's number when the copy holds no GPRS block and the caller knows it (a backup of
    // the settings alone); empty: the copy's own.
    QString Serial;
    // Filled in by Record when empty: the host's name, the user's login name, now.
    QString Station;
    QString User;
    QDateTime Time;
};

struct TCatalogueVersion {
    qint64 Id = 0;
    qint64 Module = 0;
    QString Uid;  // the version's own id, the same in every catalogue it reaches
    TVersionInfo Info;
    TModuleCopy Copy;
};

// A module: by the GPRS block's "Серийный номер устройства"; a module with an erased number is one
// of its own for each port and time it was met ("без номера").
struct TCatalogueModule {
    qint64 Id = 0;
    QString Serial;       // eight digits; empty: "без номера"
    QString Site;         // what the installer calls the place it is in
    QString Notes;
    QDateTime LastTime;   // of its newest version
    QString LastPort;
    int Versions = 0;
};

// A version's operation in the installer's words ("чтение", "резервная копия", …).
QString VersionKindText(TVersionKind kind);
// The module's serial number, or "без номера" for one whose number is erased.
QString ModuleSerialText(const QString& serial);

// A serial number out with a module: reserved before the first byte of it is written.
struct TSerialReservation {
    quint32 Number = 0;
    quint32 Series = 0;  // the series' first number
    QString Station;
    QString Port;
    QDateTime Time;
    qint64 Pid = 0;            // the process that reserved it, on Station
    bool ProcessGone = false;  // Station is this host and that process has ended
};
