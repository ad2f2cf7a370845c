#pragma once
#include <QString>

#include "catalogue/Catalogue.h"
#include "module/ModuleCopy.h"

class QWidget;
class TDeviceSession;
class THeldModule;
class TToolCore;
enum class TOperationResult;

// A version of the module the window's port is on, in the core's catalogue: the copy, its kind,
// the port and its USB adapter, how it ended. False with the cause.
bool RecordVersion(TToolCore& core, TVersionKind kind, const TModuleCopy& copy, QString& error);

// Before a write of `parts`: reads them from the module, with its GPRS block so that the module
// is known by its serial number, and records them in the catalogue as a backup. When the read or
// the record fails, asks whether to write without a backup. True when the write may go on;
// `backup` then holds what was read (nothing when the operator went on without it).
bool BackupBeforeWrite(QWidget* owner, TToolCore& core, unsigned parts, TModuleCopy& backup);

// The two as operations of the window (RunDeviceOperation): the read fills `copy` only when it
// succeeded and says nothing then; the failure text opens the warning of either (none when empty).
// The write first keeps a backup of what it overwrites (BackupBeforeWrite), and nothing is
// written without one unless the operator says so; once written, `held` is told
// (THeldModule::Written) and what the module now holds is recorded as a version.
TOperationResult ReadFromModule(QWidget* owner, TDeviceSession& session, const QString& title, unsigned parts,
                                TModuleCopy& copy, const QString& failure);
bool WriteToModule(QWidget* owner, TToolCore& core, const QString& title, const TModuleCopy& copy, THeldModule& held,
                   const QString& success, const QString& failure);

// What the module holds after a write of `written` over `backup`: the backup's areas with the
// write's over them. Without a backup, what was written.
TModuleCopy HeldAfterWrite(const TModuleCopy& backup, const TModuleCopy& written);
