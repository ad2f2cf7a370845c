#pragma once
#include <string>

#include "util/LogFile.h"

// Gives any object a log of its own. The log is off until SetLogFileName or OpenLog is called;
// derived classes write through FLog->Write.
class TLogObject {
public:
    TLogObject();
    virtual ~TLogObject();
    TLogObject(const TLogObject&) = delete;
    TLogObject& operator=(const TLogObject&) = delete;

    virtual void SetLogFileName(const std::string& path, bool recreate);
    virtual void OpenLog(const std::string& directory, const std::string& name, bool recreate);

protected:
    bool FSharedLog = false;  // when set, the log belongs to someone else and is not destroyed
    TLogFile* FLog;
};
