#pragma once
#include <QString>

#include "module/ModuleCopy.h"

class TKOR_ZEM;
class TOperationProgress;

// Reads the areas named by `parts` into `copy`, in the order settings, keys, GPRS, each as its
// page reads it. Progress steps run across all of them and name the area ("ключи: блок 2 из 4").
bool ReadModuleParts(TKOR_ZEM& device, TOperationProgress& progress, unsigned parts, TModuleCopy& copy);

// Writes every area the copy holds, each as its page writes it: the settings in three blocks
// (addresses 0 and 124 are never written), then the key table and its count, then the GPRS
// block. Settings written without a key table and with a key count of 0 erase every key slot,
// as the module expects; with a key table the count is the table's.
bool WriteModuleParts(TKOR_ZEM& device, TOperationProgress& progress, const TModuleCopy& copy);

// How far a write of `total` steps got when it ended early, `lastStep` being the step begun last
// (0: none) and `stepRefused` whether it ended by refusing the step after that one:
// "записано блоков: 3 из 8 — модуль изменён частично", "модуль мог получить часть изменений",
// or empty when nothing was sent.
QString WrittenPartText(int lastStep, int total, bool stepRefused);

// What the module holds after `written` is written over what it held before (`before`, with every
// area written or erased): the areas WriteModuleParts changes, byte for byte, the others absent.
TModuleCopy ExpectedAfterWrite(const TModuleCopy& before, const TModuleCopy& written);

// The areas a write of the copy changes in the module: those it holds, and the key table when
// its settings store no keys.
unsigned PartsOverwritten(const TModuleCopy& copy);
