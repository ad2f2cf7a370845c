#pragma once
#include <QString>

#include "module/ModuleCopy.h"

class QWidget;
class TDeviceSession;
class THeldModule;
enum class TOperationResult;

// Before a write of `parts`: reads them from the module and saves them as a backup. When the
// read or the save fails, asks whether to write without a backup. True when the write may go on.
bool BackupBeforeWrite(QWidget* owner, TDeviceSession& session, unsigned parts);

// The two as operations of the window (RunDeviceOperation): the read fills `copy` only when it
// succeeded and says nothing then; the failure text opens the warning of either (none when empty).
// The write first keeps a backup of what it overwrites (BackupBeforeWrite), and nothing is
// written without one unless the operator says so; once written, `held` is told (THeldModule::Written).
TOperationResult ReadFromModule(QWidget* owner, TDeviceSession& session, const QString& title, unsigned parts,
                                TModuleCopy& copy, const QString& failure);
bool WriteToModule(QWidget* owner, TDeviceSession& session, const QString& title, const TModuleCopy& copy,
                   THeldModule& held, const QString& success, const QString& failure);
