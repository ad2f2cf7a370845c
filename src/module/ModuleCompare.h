#pragma once
#include <QList>
#include <QString>

#include "module/ModuleCopy.h"

// One value that differs between the module and the tool, in the pages' words.
struct TDifference {
    QString Title;     // "Входы / Z1 / Режим работы"
    QString InModule;
    QString InTool;
};

// "Входы / Z1 / Режим работы: Охранная → Отключена" (module → tool).
QString DifferenceText(const TDifference& difference);

// Every difference between what was read from the module and what the tool holds, for each
// area both hold: settings field by field, keys added, removed or with another parameter, and
// GPRS field by field (the password only as changed).
QList<TDifference> CompareCopies(const TModuleCopy& module, const TModuleCopy& tool);
