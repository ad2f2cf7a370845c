#include "util/LogObject.h"

TLogObject::TLogObject() : FLog(new TLogFile) {}

TLogObject::~TLogObject()
{
    if (!FSharedLog)
        delete FLog;
}

void TLogObject::SetLogFileName(const std::string& path, bool recreate)
{
    FLog->SetFileName(path, recreate);
}

void TLogObject::OpenLog(const std::string& directory, const std::string& name, bool recreate)
{
    FLog->Open(directory, name, recreate);
}
