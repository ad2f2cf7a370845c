#pragma once
#include <QString>

#include <vector>

#include "link/ExchangeRecorder.h"

// The one file an installer sends to support: the tool's version, the system, the chosen port
// with what the system knows of it (adapter, maker, serial number), then the operations given,
// each with its frames.
QString SupportReport(const QString& port, const std::vector<TOperationRecord>& operations);
