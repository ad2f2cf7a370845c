#include "Dnxfileutils.h"

void AddTrailingBackslash(std::string& path)
{
    if (!path.empty() && path.back() != PathDelimiter)
        path += PathDelimiter;
}
