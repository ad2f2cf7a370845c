#pragma once
// A daily log whose clock the test sets.
#include "util/LogFile.h"

class TClockedDailyLog : public TDailyLog {
public:
    using TDailyLog::TDailyLog;
    TLogTime Time{2024, 3, 5, 3, 9, 5, 3, 7};

protected:
    TLogTime Now() const override { return Time; }
};
